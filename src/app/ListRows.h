#pragma once

#include "convert/MessageSources.h"
#include "list/MessageListModel.h"

// The window's list as a run's entries, each path made when the run asks for it: a run of a
// million rows keeps no second list of their paths. The list must not change while it is read.
class ListRows final : public MessageSources
{
public:
    explicit ListRows(const MessageListModel &list) : m_list(list) {}
    qsizetype count() const override { return m_list.count(); }
    QString at(qsizetype index) const override { return m_list.file(int(index)); }

private:
    const MessageListModel &m_list;
};
