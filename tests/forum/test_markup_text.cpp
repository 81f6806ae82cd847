#include "markup_text.h"

#include <gtest/gtest.h>

using namespace quillora::forum::markup;

namespace {

// Every character is 10 pixels wide, 12 in bold, 7 in a raised or lowered
// style; a line is 20 pixels high.
class FakeMetrics : public FontMetricsSource {
  public:
    int lineHeight() const override { return 20; }
    int textWidth(const QString &text, int style) const override
    {
        const int perChar = (style & (Superscript | Subscript)) ? 7 : (style & Bold) ? 12 : 10;
        return int(text.size()) * perChar;
    }
};

MarkupLayout layOut(const QString &text, int width = 1000, bool wordBreak = true, bool singleLine = false)
{
    FakeMetrics metrics;
    return layoutMarkup(text, metrics, LayoutOptions{width, wordBreak, singleLine});
}

QStringList wordsOf(const MarkupLayout &layout)
{
    QStringList words;
    for (const PlacedWord &w : layout.words)
        words.append(w.text);
    return words;
}

} // namespace

TEST(MarkupText, BoldThenPlainSeparatedByOneSpace)
{
    const MarkupLayout layout = layOut(QStringLiteral("{b}bold{/b} plain"));
    ASSERT_EQ(wordsOf(layout), (QStringList{QStringLiteral("bold"), QStringLiteral("plain")}));
    EXPECT_EQ(layout.words[0].style, Bold);
    EXPECT_EQ(layout.words[0].x, 0);
    EXPECT_EQ(layout.words[0].width, 48);
    EXPECT_EQ(layout.words[1].style, 0);
    EXPECT_EQ(layout.words[1].x, 48 + 10);
    EXPECT_EQ(layout.widest, 58 + 50);
    EXPECT_EQ(layout.lastLineOffset, 0);
    EXPECT_EQ(layout.height(), 20);
}

TEST(MarkupText, BlankCountedOnceAcrossTags)
{
    for (const char *text : {"a {b} b", "a{b} b", "a {b}{i} b", "a {b}  b"}) {
        const MarkupLayout layout = layOut(QString::fromUtf8(text));
        ASSERT_EQ(layout.words.size(), 2) << text;
        EXPECT_EQ(layout.words[1].x, 10 + 12) << text; // the blank is measured in the new style
    }
    const MarkupLayout glued = layOut(QStringLiteral("a{b}b"));
    EXPECT_EQ(glued.words[1].x, 10);
    // Breaks swallow the blanks around them.
    const MarkupLayout broken = layOut(QStringLiteral("a {br}  b"));
    EXPECT_EQ(broken.words[1].x, 0);
    EXPECT_EQ(broken.words[1].y, 20);
}

TEST(MarkupText, FontColours)
{
    const MarkupLayout layout =
        layOut(QStringLiteral("{font color=#FF0000}red{/font} back {FONT COLOR='00ff00'}green{/font} "
                              "{font color=\"0000FF\"}blue{/font}"));
    ASSERT_EQ(wordsOf(layout), (QStringList{QStringLiteral("red"), QStringLiteral("back"), QStringLiteral("green"),
                                            QStringLiteral("blue")}));
    EXPECT_EQ(layout.words[0].color, Color(0xFF0000));
    EXPECT_EQ(layout.words[1].color, Color());
    EXPECT_EQ(layout.words[2].color, Color(0x00FF00));
    EXPECT_EQ(layout.words[3].color, Color(0x0000FF));
    // Badly formed colour tags are words.
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{font color=#FF00}x"))),
              (QStringList{QStringLiteral("{font"), QStringLiteral("color=#FF00}x")}));
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{font  color=#FF0000}x"))).first(), QStringLiteral("{font"));
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{font}x"))), (QStringList{QStringLiteral("{font}x")}));
}

TEST(MarkupText, NineNestedColoursUnwindTheEightSaved)
{
    QString text;
    for (int i = 1; i <= 9; ++i)
        text += QStringLiteral("{font color=#%1}c%2 ").arg(i, 6, 10, QLatin1Char('0')).arg(i);
    for (int i = 9; i >= 1; --i)
        text += QStringLiteral("{/font}u%1 ").arg(i);
    const MarkupLayout layout = layOut(text);
    ASSERT_EQ(layout.words.size(), 18);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(layout.words[i].color, Color(unsigned(i + 1)));
    // The ninth colour was set but not saved: the first pop gives back the
    // eighth saved colour (c7), ..., the eighth pop the starting colour, and
    // a pop from the empty stack the colour saved first.
    const Color expected[] = {7, 6, 5, 4, 3, 2, 1, Color(), Color()};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(layout.words[9 + i].color, expected[i]) << "after pop " << i + 1;
}

TEST(MarkupText, ColourStackEdges)
{
    ColorStack stack(0x123456u);
    stack.pop(); // nothing ever saved: the starting colour stays
    EXPECT_EQ(stack.current(), Color(0x123456u));
    stack.push(1);
    stack.push(2);
    stack.pop();
    stack.pop();
    stack.pop(); // empty: the colour saved first
    EXPECT_EQ(stack.current(), Color(0x123456u));
    EXPECT_EQ(stack.depth(), 0);
}

TEST(MarkupText, UnknownTags)
{
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{x}text"))), (QStringList{QStringLiteral("{x}text")}));
    const MarkupLayout dropped = layOut(QStringLiteral("{/x}"));
    EXPECT_TRUE(dropped.words.isEmpty());
    EXPECT_EQ(dropped.lastLineOffset, 0);
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("a{/zz} b"))), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    // A known name not closed right after it is no tag.
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{b x}"))), (QStringList{QStringLiteral("{b"), QStringLiteral("x}")}));
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{b"))), (QStringList{QStringLiteral("{b")}));
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("{} {/}"))), (QStringList{QStringLiteral("{}"), QStringLiteral("{/}")}));
    EXPECT_EQ(wordsOf(layOut(QStringLiteral("a{s}b"))), (QStringList{QStringLiteral("a"), QStringLiteral("{s}b")}));
}

TEST(MarkupText, NamesMatchByPrefixLongestRowFirst)
{
    const MarkupLayout layout = layOut(QStringLiteral("{BIG}a{/big} {Strong}b{/s} {sup}c{/sup} {SUB}d{/sub} "
                                                      "{em}e{/em} {u}f{/u}"));
    ASSERT_EQ(layout.words.size(), 6);
    EXPECT_EQ(layout.words[0].style, Bold);
    EXPECT_EQ(layout.words[1].style, Bold); // {/s} closes nothing known
    EXPECT_EQ(layout.words[2].style, Bold | Superscript);
    EXPECT_EQ(layout.words[3].style, Bold | Subscript);
    EXPECT_EQ(layout.words[4].style, Bold | Italic);
    EXPECT_EQ(layout.words[5].style, Bold | Underline);
    // "br" is tried before "b", "pre" counts as "p".
    const MarkupLayout breaks = layOut(QStringLiteral("x{BR}y{pre}z"));
    EXPECT_EQ(breaks.words[1].y, 20);
    EXPECT_EQ(breaks.words[2].y, 50);
    EXPECT_EQ(breaks.words[1].style, 0);
}

TEST(MarkupText, ParagraphsAndSingleLine)
{
    const MarkupLayout para = layOut(QStringLiteral("{p}first{p}second{br}third"));
    ASSERT_EQ(para.words.size(), 3);
    EXPECT_EQ(para.words[0].y, 0); // no space above the first line
    EXPECT_EQ(para.words[1].y, 30);
    EXPECT_EQ(para.words[2].y, 50);
    EXPECT_EQ(para.lastLineOffset, 50);
    EXPECT_EQ(para.height(), 70);
    EXPECT_EQ(layOut(QStringLiteral("{b}{p}x")).words[0].y, 0);
    EXPECT_EQ(layOut(QStringLiteral("{br}x")).words[0].y, 20);

    const MarkupLayout single = layOut(QStringLiteral("aa{br}bb{p}cc dd"), 30, true, true);
    ASSERT_EQ(single.words.size(), 4);
    for (const PlacedWord &w : single.words)
        EXPECT_EQ(w.y, 0);
    EXPECT_EQ(single.words[1].x, 20);
    EXPECT_EQ(single.words[3].x, 70);
    EXPECT_EQ(single.lastLineOffset, 0);
    EXPECT_EQ(single.availableWidth, 90);
}

TEST(MarkupText, EmptyTextDrawsNothing)
{
    for (const char *text : {"", "   ", "{b}{/b}"}) {
        const MarkupLayout layout = layOut(QString::fromUtf8(text));
        EXPECT_TRUE(layout.words.isEmpty()) << text;
        EXPECT_EQ(layout.lastLineOffset, 0);
        EXPECT_EQ(layout.widest, 0);
    }
}

TEST(MarkupText, WordBreaking)
{
    const MarkupLayout wrapped = layOut(QStringLiteral("aaa bbb ccc"), 50);
    ASSERT_EQ(wrapped.words.size(), 3);
    EXPECT_EQ(wrapped.words[1].x, 0);
    EXPECT_EQ(wrapped.words[1].y, 20);
    EXPECT_EQ(wrapped.words[2].y, 40);
    EXPECT_EQ(wrapped.lastLineOffset, 40);
    EXPECT_EQ(wrapped.widest, 30);
    EXPECT_EQ(wrapped.availableWidth, 50);

    // Two words on a line exactly as wide as they are stay together.
    EXPECT_EQ(layOut(QStringLiteral("aa bb"), 50).lastLineOffset, 0);

    // Without word break the width grows instead.
    const MarkupLayout grown = layOut(QStringLiteral("aaa bbb ccc"), 50, false);
    EXPECT_EQ(grown.lastLineOffset, 0);
    EXPECT_EQ(grown.words[2].x, 80);
    EXPECT_EQ(grown.availableWidth, 110);
    EXPECT_EQ(grown.widest, 110);

    // A word wider than the area widens it; a word glued to the previous one
    // by a tag never moves to a new line.
    const MarkupLayout wide = layOut(QStringLiteral("abcdefghij"), 50);
    EXPECT_EQ(wide.availableWidth, 100);
    EXPECT_EQ(wide.lastLineOffset, 0);
    const MarkupLayout glued = layOut(QStringLiteral("aaa{b}bbb"), 50);
    EXPECT_EQ(glued.words[1].y, 0);
    EXPECT_EQ(glued.words[1].x, 30);
}

TEST(MarkupText, UnderlineRunsAcrossTheBlank)
{
    const MarkupLayout layout = layOut(QStringLiteral("{u}one two{/u} three"), 1000);
    EXPECT_FALSE(layout.words[0].underlinedSpace);
    EXPECT_TRUE(layout.words[1].underlinedSpace);
    EXPECT_EQ(layout.words[1].spaceWidth, 10);
    EXPECT_FALSE(layout.words[2].underlinedSpace);
    // Not at the start of a wrapped line.
    const MarkupLayout wrapped = layOut(QStringLiteral("{u}one two{/u}"), 40);
    EXPECT_EQ(wrapped.words[1].x, 0);
    EXPECT_FALSE(wrapped.words[1].underlinedSpace);
}

TEST(MarkupText, PlainText)
{
    EXPECT_EQ(plainText(QStringLiteral("{b}New{/b}  version {font color=#FF0000}3.5{/font}{br}out")),
              QStringLiteral("New version 3.5 out"));
}
