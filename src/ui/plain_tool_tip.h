// Text from the network in a tooltip. Qt takes a tooltip that looks like
// markup for rich text, so a nickname such as "<img src=...>" would be drawn
// as a picture; here the text is escaped and wrapped as rich text that keeps
// its white space, and the tip shows exactly what was written.
#pragma once

#include <QString>

namespace quillora::ui {

inline QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return QString();
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace quillora::ui
