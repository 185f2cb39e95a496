#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The encoding that a charset label stands for, as the WHATWG Encoding Standard reads labels:
// "gb2312" is GBK, "iso-8859-1" and "us-ascii" are windows-1252, "ks_c_5601-1987" is EUC-KR,
// "tis-620" is windows-874. Mailers label text the way browsers read it.
struct LabelledEncoding {
    QByteArray name;    // the standard's name: "GBK", "windows-1252", "UTF-8", ...
    QByteArray decoder; // the name Qt's converters know it by (GBK is read as gb18030 is)
};

// Blanks around the label and letter case do not count; empty for a label the standard does not
// list.
std::optional<LabelledEncoding> encodingOfLabel(QByteArrayView label);
