// Pieces shared by the files of XmlPullParser: the characters a name may be
// made of. Not part of the parser's interface.
#pragma once

#include <QChar>

namespace quillora::service::xml {

// Names: ASCII letters, digits and the usual punctuation, and beyond ASCII
// letters (and, after the first character, digits and marks). Astral-plane
// names are refused.
inline bool isNameStart(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':';
    return !QChar::isSurrogate(c) && QChar::isLetter(c);
}

inline bool isNameChar(char16_t c)
{
    if (c < 0x80)
        return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    if (QChar::isSurrogate(c))
        return false;
    return c == 0xB7 || QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

} // namespace quillora::service::xml
