#include "ui/markup/MarkupDocument.h"

#include "BuildConfig.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

// One line per element: depth, name, attributes, text; compares whole trees.
void Dump(MarkupNode node, int depth, std::string& out) {
    for (; node.isValid(); node = node.nextSibling()) {
        out += std::to_string(depth) + ":" + node.name();
        for (int i = 0; i < node.attributeCount(); ++i) {
            out += std::string(" ") + node.attributeName(i) + "=[" + node.attributeValue(i) + "]";
        }
        out += std::string(" {") + node.value() + "}\n";
        Dump(node.firstChild(), depth + 1, out);
    }
}

std::string Tree(MarkupDocument& doc) {
    std::string out;
    Dump(doc.root(), 0, out);
    return out;
}

std::string LoadError(std::string_view text) {
    MarkupDocument doc;
    EXPECT_FALSE(doc.loadFromString(text)) << text;
    EXPECT_FALSE(doc.root().isValid());
    return doc.lastErrorMessage();
}

TEST(MarkupDocument, BuildsTreeWithAttributesAndText) {
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromString(
        "<?xml version=\"1.0\"?>\n<Window size=\"570,460\" caption = \"0,0,0,35\">\n"
        "  <Font id=\"1\"/>\n  <Label text=\"a\">hello  world</Label>\n</Window>\n"));
    MarkupNode root = doc.root();
    EXPECT_STREQ(root.name(), "Window");
    EXPECT_EQ(root.attributeCount(), 2);
    EXPECT_STREQ(root.attributeValue("caption"), "0,0,0,35");
    EXPECT_STREQ(root.attributeValue("Caption"), ""); // exact case
    EXPECT_FALSE(root.hasAttribute("missing"));
    EXPECT_STREQ(root.attributeName(5), "");
    EXPECT_STREQ(root.attributeValue(-1), "");
    MarkupNode font = root.firstChild();
    EXPECT_STREQ(font.name(), "Font");
    EXPECT_STREQ(font.value(), "");
    EXPECT_FALSE(font.hasChildren());
    MarkupNode label = font.nextSibling();
    EXPECT_STREQ(label.value(), "hello world"); // the run after a space collapses
    EXPECT_EQ(label.parent().name(), std::string("Window"));
    EXPECT_FALSE(label.nextSibling().isValid());
    EXPECT_FALSE(root.parent().isValid());
    EXPECT_STREQ(MarkupNode().name(), "");
}

TEST(MarkupDocument, ByteOrderMarkOrNotGivesSameTree) {
    const std::string text = "<a x=\"1\"><b>t</b></a>";
    const std::string bom = "\xEF\xBB\xBF" + text;
    MarkupDocument plain;
    MarkupDocument marked;
    ASSERT_TRUE(plain.loadFromMemory(reinterpret_cast<const unsigned char*>(text.data()),
                                     text.size(), TextEncoding::Utf8));
    ASSERT_TRUE(marked.loadFromMemory(reinterpret_cast<const unsigned char*>(bom.data()),
                                      bom.size(), TextEncoding::Utf8));
    EXPECT_EQ(Tree(plain), Tree(marked));
    EXPECT_EQ(Tree(plain), "0:a x=[1] {}\n1:b {t}\n");
}

TEST(MarkupDocument, DecodesUtf16AndRejectsBadText) {
    // "<a t="é"/>" little-endian and big-endian, with a byte-order mark.
    const std::u16string text = u"<a t=\"\u00e9\u4e2d\"/>";
    std::vector<unsigned char> le = {0xff, 0xfe};
    std::vector<unsigned char> be = {0xfe, 0xff};
    for (char16_t c : text) {
        le.push_back(c & 0xff);
        le.push_back(c >> 8);
        be.push_back(c >> 8);
        be.push_back(c & 0xff);
    }
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromMemory(le.data(), le.size(), TextEncoding::Utf16));
    EXPECT_STREQ(doc.root().attributeValue("t"), "\xC3\xA9\xE4\xB8\xAD");
    ASSERT_TRUE(doc.loadFromMemory(be.data(), be.size(), TextEncoding::Utf16));
    EXPECT_STREQ(doc.root().attributeValue("t"), "\xC3\xA9\xE4\xB8\xAD");
    EXPECT_FALSE(doc.loadFromMemory(le.data() + 2, le.size() - 2, TextEncoding::Utf16));
    EXPECT_EQ(doc.lastErrorMessage(), "UTF-16 text must begin with a byte-order mark");

    const unsigned char bad[] = {'<', 'a', '>', 0xC3, 0x28, '<', '/', 'a', '>'};
    EXPECT_FALSE(doc.loadFromMemory(bad, sizeof bad, TextEncoding::Utf8));
    EXPECT_EQ(doc.lastErrorMessage(), "Text is not valid UTF-8");
    EXPECT_EQ(doc.lastErrorLocation(), "at byte 3");
    // ANSI bytes are taken as they are.
    EXPECT_TRUE(doc.loadFromMemory(bad, sizeof bad, TextEncoding::Ansi));
}

TEST(MarkupDocument, CommentEndsAtFirstArrowEvenWithNestedOpening) {
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromString("<r><!-- <x/>\n<!-- inner --><y/><!-><z/></r>"));
    EXPECT_EQ(Tree(doc), "0:r {}\n1:y {}\n1:z {}\n");
}

TEST(MarkupDocument, ValuesKeepAngleBracketsAndDecodeFiveEntities) {
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromString(
        "<a t=\"<c #fee88a><u>x</u></c>\" e=\"&lt;&gt;&amp;&quot;&apos;\" k=\"&nbsp;&amp\" "
        "q=\"file='png\\a.png' dest='0,0,1,1'\">a &lt; b</a>"));
    MarkupNode a = doc.root();
    EXPECT_STREQ(a.attributeValue("t"), "<c #fee88a><u>x</u></c>");
    EXPECT_STREQ(a.attributeValue("e"), "<>&\"'");
    EXPECT_STREQ(a.attributeValue("k"), "&nbsp;&amp");
    EXPECT_STREQ(a.attributeValue("q"), "file='png\\a.png' dest='0,0,1,1'");
    EXPECT_STREQ(a.value(), "a < b");
    EXPECT_EQ(a.attributeCount(), 4);
}

TEST(MarkupDocument, KeepsWhitespaceWhenAsked) {
    MarkupDocument doc(true);
    ASSERT_TRUE(doc.loadFromString("<a v=\"x   y\">p  q</a>"));
    EXPECT_STREQ(doc.root().attributeValue("v"), "x   y");
    EXPECT_STREQ(doc.root().value(), "p  q");
}

TEST(MarkupDocument, AttributeLimitIsSixtyFour) {
    std::string text = "<a";
    for (int i = 0; i < 70; ++i) {
        text += " n" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    }
    text += "/>";
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromString(text));
    MarkupNode a = doc.root();
    EXPECT_EQ(a.attributeCount(), 64);
    EXPECT_STREQ(a.attributeValue("n63"), "63");
    EXPECT_STREQ(a.attributeValue("n64"), "");
}

TEST(MarkupDocument, ErrorsCarryExactMessages) {
    EXPECT_EQ(LoadError("<a x='1'/>"), "Expected attribute value");
    EXPECT_EQ(LoadError("<a x/>"), "Error while parsing attributes");
    EXPECT_EQ(LoadError("<a x=\"1/>"), "Error while parsing attribute string");
    EXPECT_EQ(LoadError("<abc"), "Error parsing element name");
    EXPECT_EQ(LoadError("<a x=\"1\"/ >"), "Expected start-tag closing");
    EXPECT_EQ(LoadError("text"), "Expected start tag");
    EXPECT_EQ(LoadError("<a><b>t<c/>x</b></a>"), "Expected start tag"); // one text per element
    EXPECT_EQ(LoadError("<Button></Buttonx>"), "Unmatched closing tag");
    EXPECT_EQ(LoadError("<Button></Butto>"), "Unmatched closing tag");
    EXPECT_EQ(LoadError("<a><b></a>"), "Unmatched closing tag");

    MarkupDocument doc;
    EXPECT_FALSE(doc.loadFromString("<a><b x='1'/></a>"));
    EXPECT_EQ(doc.lastErrorLocation(), "'1'/></a>");
}

TEST(MarkupDocument, EndTagMayHaveBlanksBeforeClosing) {
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromString("<Button>t</Button \n ><x/>"));
    EXPECT_EQ(Tree(doc), "0:Button {t}\n0:x {}\n");
}

TEST(MarkupDocument, MissingEndTagsToleratedAtTwoLevels) {
    MarkupDocument doc;
    EXPECT_TRUE(doc.loadFromString("<a><b/>"));
    EXPECT_TRUE(doc.loadFromString("<a><b>text"));
    EXPECT_EQ(Tree(doc), "0:a {}\n1:b {text}\n");
    EXPECT_TRUE(doc.loadFromString("<a>"));
    EXPECT_EQ(LoadError("<a><b><c>"), "Expected start tag");
    EXPECT_EQ(LoadError("<a><b><c/>"), "Expected start tag");
}

TEST(MarkupDocument, DeepNestingNeitherCrashesNorRecurses) {
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text += "<e>";
    }
    EXPECT_EQ(LoadError(text), "Expected start tag");
    for (int i = 0; i < 200000; ++i) {
        text += "</e>";
    }
    MarkupDocument doc;
    EXPECT_TRUE(doc.loadFromString(text));
}

TEST(MarkupDocument, ReloadAfterErrorAndEmptyText) {
    MarkupDocument doc;
    EXPECT_TRUE(doc.loadFromString(""));
    EXPECT_FALSE(doc.root().isValid());
    EXPECT_FALSE(doc.loadFromString("<a x='"));
    EXPECT_TRUE(doc.loadFromString("<b/>"));
    EXPECT_STREQ(doc.root().name(), "b");
    EXPECT_EQ(doc.lastErrorMessage(), "");
}

// The installer's own skin: every element parses, the commented-out title image is gone.
TEST(MarkupDocument, InstallerSkinParses) {
    const std::string path = std::string(build_config::SOURCE_DIR) + "/skin/main_frame.xml";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromMemory(bytes.data(), bytes.size(), TextEncoding::Utf8))
        << doc.lastErrorMessage() << " at " << doc.lastErrorLocation();
    MarkupNode root = doc.root();
    EXPECT_STREQ(root.name(), "Window");
    EXPECT_STREQ(root.attributeValue("layeredimage"),
                 "file='png\\bg.png' source='0,2,570,560' dest='0,2,570,560'");
    const std::string tree = Tree(doc);
    EXPECT_EQ(tree.find("title"), std::string::npos);
    EXPECT_NE(tree.find("name=[install_path] text=[/opt/Inkwarden]"), std::string::npos);
    // Markup inside a text, written as entities so that the file is XML for xgettext too.
    EXPECT_NE(tree.find("text=[<c #fee88a><u>licence agreement</u></c>]"), std::string::npos);

    int fonts = 0;
    MarkupNode frame;
    for (MarkupNode n = root.firstChild(); n.isValid(); n = n.nextSibling()) {
        if (std::string(n.name()) == "Font") {
            ++fonts;
        } else {
            frame = n;
        }
    }
    EXPECT_EQ(fonts, 4);
    ASSERT_STREQ(frame.attributeValue("name"), "frame");
    MarkupNode title = frame.firstChild().firstChild();
    EXPECT_STREQ(title.name(), "HorizontalLayout");
    MarkupNode tab = title.nextSibling();
    EXPECT_STREQ(tab.attributeValue("name"), "tab_page");
    int pages = 0;
    for (MarkupNode page = tab.firstChild(); page.isValid(); page = page.nextSibling()) {
        ++pages;
    }
    EXPECT_EQ(pages, 4);
    EXPECT_STREQ(tab.nextSibling().attributeValue("name"), "install_custom");
}

} // namespace
} // namespace inkwarden
