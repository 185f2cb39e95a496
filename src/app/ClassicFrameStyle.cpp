#include "app/ClassicFrameStyle.h"

#include <QGroupBox>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionGroupBox>
#include <qdrawutil.h>

namespace {

constexpr int captionLeft = 8; // pixels from the frame's left edge to its caption

class ClassicFrameStyle : public QProxyStyle
{
public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
        if (control != CC_GroupBox || !box) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const int lineHeight = box->fontMetrics.height();
        const QRect line = box->rect.adjusted(0, lineHeight / 2, 0, 0);
        qDrawShadeRect(painter, line, box->palette, true, 1, 0);

        const QRect caption(box->rect.left() + captionLeft, box->rect.top(),
                            box->fontMetrics.horizontalAdvance(box->text), lineHeight);
        painter->fillRect(caption, box->palette.window());
        proxy()->drawItemText(painter, caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, box->palette,
                              box->state.testFlag(State_Enabled), box->text, QPalette::WindowText);
    }
};

} // namespace

void setClassicFrameStyle(QGroupBox *frame)
{
    auto *style = new ClassicFrameStyle;
    style->setParent(frame);
    frame->setStyle(style);
}
