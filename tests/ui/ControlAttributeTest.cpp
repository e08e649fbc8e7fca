// Attributes of the control classes, the value formats they use, and the label sizes.
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDescription.h"
#include "ui/markup/ColorFormat.h"
#include "ui/runtime/INotifyUI.h"
#include "ui/runtime/PaintManager.h"
#include "ui/runtime/WindowAttributes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

TEST(ValueFormatTest, Colours) {
    EXPECT_EQ(ParseColor("#FF3179FD"), 0xFF3179FDu);
    EXPECT_EQ(ParseColor("  \t#ff20a5ff"), 0xFF20A5FFu);
    EXPECT_EQ(ParseColor("FFCCCCCC"), 0xFFCCCCCCu);
    EXPECT_EQ(ParseColor("#00000000"), 0u);
    EXPECT_EQ(ParseColor("#12zz"), 0x12u);
    EXPECT_EQ(ParseColor(""), 0u);
    EXPECT_EQ(ParseColor("#FFFFFFFFFF"), 0xFFFFFFFFu);
}

TEST(ValueFormatTest, ImageDescriptions) {
    ImageDescription bare;
    bare.setText("png\\close_normal.png");
    EXPECT_EQ(bare.file, "png\\close_normal.png");
    EXPECT_TRUE(bare.dest.isEmpty());

    ImageDescription full;
    full.setText("file='png/progress_bkg.png' source='35,0,70,8' corner='6,0,6,0' "
                 "dest='1,2,3,4' mask='#FF000000' fade='128' hole='true' xtiled='true' "
                 "ytiled='false' restype='PNG' res='7' color='#80FF0000' hsl='true'");
    EXPECT_EQ(full.file, "png/progress_bkg.png");
    EXPECT_EQ(full.source, (UiRect{35, 0, 70, 8}));
    EXPECT_EQ(full.corner, (UiRect{6, 0, 6, 0}));
    EXPECT_EQ(full.dest, (UiRect{1, 2, 3, 4}));
    EXPECT_EQ(full.mask, 0xFF000000u);
    EXPECT_EQ(full.fade, 128);
    EXPECT_TRUE(full.hole);
    EXPECT_TRUE(full.xtiled);
    EXPECT_FALSE(full.ytiled);
    EXPECT_EQ(full.res_type, "PNG");
    EXPECT_EQ(full.res, "7");
    EXPECT_TRUE(full.has_color);
    EXPECT_EQ(full.color, 0x80FF0000u);
    EXPECT_TRUE(full.hsl);

    // Two spaces between pairs parse; blanks around "=" are allowed; "scale9" is "corner".
    ImageDescription spaced;
    spaced.setText("file='a.png'  source = '0,2,570,460' scale9='1,1,1,1'");
    EXPECT_EQ(spaced.file, "a.png");
    EXPECT_EQ(spaced.source, (UiRect{0, 2, 570, 460}));
    EXPECT_EQ(spaced.corner, (UiRect{1, 1, 1, 1}));

    // A line break (or tab) after a closing quote ends the list.
    ImageDescription broken;
    broken.setText("file='a.png'\nsource='1,1,1,1'");
    EXPECT_EQ(broken.file, "a.png");
    EXPECT_TRUE(broken.source.isEmpty());

    // Empty values are ignored; a malformed pair keeps what came before it.
    ImageDescription partial;
    partial.setText("file='' source='1,2,3,4' dest=\"5,5,5,5\" fade='7'");
    EXPECT_EQ(partial.file, "");
    EXPECT_EQ(partial.source, (UiRect{1, 2, 3, 4}));
    EXPECT_TRUE(partial.dest.isEmpty());
    EXPECT_EQ(partial.fade, 255);

    ImageDescription unterminated;
    unterminated.setText("file='a.png' dest='1,2");
    EXPECT_EQ(unterminated.file, "a.png");
    EXPECT_TRUE(unterminated.dest.isEmpty());
}

TEST(ControlAttributeTest, GeometryAttributes) {
    CControlUI c;
    c.setAttribute("pos", "35,36");
    EXPECT_EQ(c.getFixedXY(), (UiPoint{35, 36}));
    EXPECT_EQ(c.getFixedWidth(), 0); // r - l is negative: ignored
    c.setAttribute("pos", "10,20,40,60");
    EXPECT_EQ(c.getFixedWidth(), 30);
    EXPECT_EQ(c.getFixedHeight(), 40);
    c.setAttribute("height", "");
    EXPECT_EQ(c.getFixedHeight(), 0);
    c.setAttribute("width", "-5");
    EXPECT_EQ(c.getFixedWidth(), 30);
    c.setAttribute("padding", "158,66");
    EXPECT_EQ(c.getPadding(), (UiRect{158, 66, 0, 0}));
    c.setAttribute("minwidth", "3");
    c.setAttribute("maxheight", "70");
    EXPECT_EQ(c.getMinWidth(), 3);
    EXPECT_EQ(c.getMaxHeight(), 70);
    EXPECT_EQ(c.getMaxWidth(), 9999);
    c.setAttribute("float", "True");
    EXPECT_FALSE(c.isFloat());
    c.setAttribute("float", "0.25,0.5,0.75,1");
    EXPECT_TRUE(c.isFloat());
    EXPECT_DOUBLE_EQ(c.getFloatPercent().left, 0.25);
    EXPECT_DOUBLE_EQ(c.getFloatPercent().bottom, 1.0);
}

TEST(ControlAttributeTest, CommonAttributesAndCustomOnes) {
    CControlUI c;
    c.setAttribute("bkcolor", "#FFFFFFFF");
    c.setAttribute("bkcolor2", "#FF000001");
    c.setAttribute("bordersize", "2");
    EXPECT_EQ(c.getBorderSize(), (UiRect{2, 2, 2, 2}));
    c.setAttribute("bordersize", "1,2,3,4");
    EXPECT_EQ(c.getBorderSize(), (UiRect{1, 2, 3, 4}));
    c.setAttribute("borderround", "6,6");
    c.setAttribute("tooltip", "one<n>two");
    c.setAttribute("shortcut", "xyz");
    c.setAttribute("enabled", "false");
    c.setAttribute("visible", "TRUE"); // booleans are true only for "true"
    c.setAttribute("bkimage", "file='png\\bg.png' source='0,2,570,370'");
    EXPECT_EQ(c.getBkColor(), 0xFFFFFFFFu);
    EXPECT_EQ(c.getBkColor2(), 0xFF000001u);
    EXPECT_EQ(c.getBorderRound(), (UiSize{6, 6}));
    EXPECT_EQ(c.getToolTip(), "one\ntwo");
    EXPECT_EQ(c.getShortcut(), 'x');
    EXPECT_FALSE(c.isEnabled());
    EXPECT_FALSE(c.isVisible());
    EXPECT_EQ(c.getBkImage().file, "png\\bg.png");
    EXPECT_EQ(c.getBkImage().source, (UiRect{0, 2, 570, 370}));

    c.setAttribute("Width", "7"); // names are case-sensitive: a custom attribute
    c.setAttribute("Width", "8");
    c.setAttribute("cover", "true");
    c.setAttribute("", "x");
    c.setAttribute("empty", "");
    EXPECT_EQ(c.getFixedWidth(), 0);
    EXPECT_EQ(c.getCustomAttribute("Width"), "7");
    EXPECT_EQ(c.getCustomAttribute("cover"), "true");
    EXPECT_EQ(c.getCustomAttribute(""), "");
    EXPECT_EQ(c.getCustomAttribute("empty"), "");
}

TEST(ControlAttributeTest, LabelButtonOptionProgressEdit) {
    CLabelUI label;
    EXPECT_EQ(label.getTextStyle(), CLabelUI::TEXT_SINGLELINE | CLabelUI::TEXT_VCENTER);
    label.setAttribute("align", "center");
    label.setAttribute("valign", "bottom");
    label.setAttribute("textpadding", "22,0,0,0");
    label.setAttribute("font", "4");
    label.setAttribute("textcolor", "#00000000");
    label.setAttribute("showhtml", "true");
    label.setAttribute("enabledshadow", "true");
    EXPECT_EQ(label.getTextStyle() & 0x0F, CLabelUI::TEXT_CENTER | CLabelUI::TEXT_BOTTOM);
    EXPECT_EQ(label.getTextPadding(), (UiRect{22, 0, 0, 0}));
    EXPECT_EQ(label.getFont(), 4);
    EXPECT_EQ(label.getTextColor(), 0u);
    EXPECT_TRUE(label.isShowHtml());
    EXPECT_EQ(label.getTextEffect("enabledshadow"), "true");
    EXPECT_EQ(label.getCustomAttribute("enabledshadow"), "");
    label.setAttribute("multiline", "true");
    EXPECT_TRUE(label.isMultiLine());

    CButtonUI button;
    EXPECT_EQ(button.getTextStyle() & 0x0F, CLabelUI::TEXT_CENTER | CLabelUI::TEXT_VCENTER);
    button.setAttribute("normalimage", "png\\close_normal.png");
    button.setAttribute("hotimage", "png\\close_enter.png");
    button.setAttribute("pushedtextcolor", "#FF010203");
    button.setAttribute("fadedelta", "30");
    EXPECT_EQ(button.getNormalImage().file, "png\\close_normal.png");
    EXPECT_EQ(button.getHotImage().file, "png\\close_enter.png");
    EXPECT_EQ(button.getPushedTextColor(), 0xFF010203u);
    EXPECT_EQ(button.getFadeDelta(), 30);
    EXPECT_EQ(button.getControlFlags(), 3u);

    CCheckBoxUI box;
    EXPECT_STREQ(box.getClass(), "CheckBox");
    EXPECT_EQ(box.getInterface("Option"), &box);
    EXPECT_EQ(box.getInterface("Button"), &box);
    EXPECT_EQ(box.getInterface("IContainer"), nullptr);
    box.setAttribute("foreimage", "file='png/check_blue_0.png'");
    box.setAttribute("selectedimage", "file='png/check_blue_2.png'");
    box.setAttribute("selected", "true");
    EXPECT_EQ(box.getOptionForeImage().file, "png/check_blue_0.png");
    EXPECT_TRUE(box.getForeImage().isEmpty()); // the option's own fore image
    EXPECT_TRUE(box.isSelected());

    CProgressUI progress;
    EXPECT_EQ(progress.getFixedHeight(), 12);
    progress.setAttribute("max", "1000");
    progress.setAttribute("value", "1500");
    EXPECT_EQ(progress.getValue(), 1000);
    progress.setValue(-3);
    EXPECT_EQ(progress.getValue(), 0);
    progress.setAttribute("hor", "false");
    EXPECT_FALSE(progress.isHorizontal());

    CEditUI edit;
    EXPECT_EQ(edit.getTextPadding(), (UiRect{4, 3, 4, 3}));
    EXPECT_EQ(edit.getBkColor(), 0xFFFFFFFFu);
    EXPECT_EQ(edit.getMaxChar(), 255);
    edit.setAttribute("maxchar", "12");
    edit.setAttribute("password", "true");
    edit.setAttribute("readonly", "true");
    edit.setAttribute("nativebkcolor", "#FF102030");
    EXPECT_EQ(edit.getMaxChar(), 12);
    EXPECT_TRUE(edit.isPasswordMode());
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_EQ(edit.getNativeBkColor(), 0xFF102030u);
}

TEST(ControlAttributeTest, ContainerAttributesAndAttributeLists) {
    CContainerUI box;
    box.setAttribute("inset", "8,8,8,0");
    box.setAttribute("childpadding", "4");
    box.setAttribute("childalign", "right");
    box.setAttribute("childalign", "middle"); // unknown word: unchanged
    box.setAttribute("childvalign", "vcenter");
    box.setAttribute("mousechild", "false");
    EXPECT_EQ(box.getInset(), (UiRect{8, 8, 8, 0}));
    EXPECT_EQ(box.getChildPadding(), 4);
    EXPECT_EQ(box.getChildAlign(), CContainerUI::ALIGN_RIGHT);
    EXPECT_EQ(box.getChildVAlign(), CContainerUI::ALIGN_VCENTER);
    EXPECT_FALSE(box.isMouseChildEnabled());
    EXPECT_NE(box.getInterface("IContainer"), nullptr);

    CLabelUI label;
    label.applyAttributeList("width=\"40\" text=\"a b\" height=\"16\"");
    EXPECT_EQ(label.getFixedWidth(), 40);
    EXPECT_EQ(label.getText(), "a b");
    EXPECT_EQ(label.getFixedHeight(), 16);
    // After a closing quote only a single space continues; a bad pair ends the list.
    CLabelUI other;
    other.applyAttributeList("width=\"40\"  height=\"16\"");
    EXPECT_EQ(other.getFixedWidth(), 40);
    EXPECT_EQ(other.getFixedHeight(), 0);
    other.applyAttributeList("font=4 width=\"9\"");
    EXPECT_EQ(other.getFont(), -1);
    other.applyAttributeList("width=\"9");
    EXPECT_EQ(other.getFixedWidth(), 40);
}

TEST(ControlAttributeTest, NamesMatchExactlyThroughEveryClassOfTheChain) {
    // Each class takes its own names, in exact case, and hands the rest to its base class;
    // names that no class takes become custom attributes.
    CCheckBoxUI box;
    box.setAttribute("Selected", "true");
    box.setAttribute("FOREIMAGE", "file='a.png'");
    box.setAttribute("HotImage", "file='b.png'");
    box.setAttribute("Align", "right");
    box.setAttribute("EnabledShadow", "true");
    box.setAttribute("Height", "16");
    EXPECT_FALSE(box.isSelected());
    EXPECT_TRUE(box.getOptionForeImage().isEmpty());
    EXPECT_TRUE(box.getHotImage().isEmpty());
    EXPECT_EQ(box.getTextStyle() & CLabelUI::TEXT_RIGHT, 0u);
    EXPECT_EQ(box.getTextEffect("EnabledShadow"), "");
    EXPECT_EQ(box.getFixedHeight(), 0);
    for (const char* name : {"Selected", "FOREIMAGE", "HotImage", "Align", "EnabledShadow"}) {
        EXPECT_NE(box.getCustomAttribute(name), "") << name;
    }
    // Every level of the chain still answers its own names.
    box.setAttribute("selected", "true");     // option
    box.setAttribute("hotimage", "b.png");    // button
    box.setAttribute("align", "right");       // label
    box.setAttribute("height", "16");         // control
    box.setAttribute("pushedtextcolor", "1"); // button, below the option
    EXPECT_TRUE(box.isSelected());
    EXPECT_EQ(box.getHotImage().file, "b.png");
    EXPECT_NE(box.getTextStyle() & CLabelUI::TEXT_RIGHT, 0u);
    EXPECT_EQ(box.getFixedHeight(), 16);
    EXPECT_EQ(box.getPushedTextColor(), 1u);

    // The tab's page selection is also kept as a custom attribute.
    CTabLayoutUI tab;
    tab.add(new CContainerUI);
    tab.add(new CContainerUI);
    tab.setAttribute("selectedid", "1");
    tab.setAttribute("ChildPadding", "4");
    EXPECT_EQ(tab.getCurSel(), 1);
    EXPECT_EQ(tab.getCustomAttribute("selectedid"), "1");
    EXPECT_EQ(tab.getChildPadding(), 0);
}

TEST(WindowAttributesTest, AnyCaseExceptNoActivateAndTheLayeredOnes) {
    WindowAttributes a;
    EXPECT_EQ(a.set("SIZE", "570,460"), WindowAttributes::Effect::RESIZE);
    EXPECT_EQ(a.set("Caption", "0,0,0,35"), WindowAttributes::Effect::NONE);
    a.set("ShowDirty", "true");
    a.set("DefaultFontColor", "#FF010203");
    a.set("OPACITY", "-4");
    EXPECT_EQ(a.initSize(), (UiSize{570, 460}));
    EXPECT_EQ(a.caption(), (UiRect{0, 0, 0, 35}));
    EXPECT_TRUE(a.showDirty());
    EXPECT_EQ(a.fontColor(), 0xFF010203u);
    EXPECT_EQ(a.opacity(), 0);

    // These three are taken in exact case only; other spellings are named attributes.
    EXPECT_EQ(a.set("NoActivate", "true"), WindowAttributes::Effect::NONE);
    EXPECT_EQ(a.set("LayeredOpacity", "9"), WindowAttributes::Effect::NONE);
    EXPECT_EQ(a.set("LAYEREDIMAGE", "x.png"), WindowAttributes::Effect::NONE);
    EXPECT_FALSE(a.noActivate());
    EXPECT_EQ(a.layeredOpacity(), 255);
    EXPECT_FALSE(a.layered());
    EXPECT_EQ(a.get("NoActivate"), "true");
    EXPECT_EQ(a.get("noactivate"), "");
    a.set("noactivate", "true");
    a.set("layeredopacity", "300");
    EXPECT_EQ(a.set("layeredimage", "file='bg.png'"), WindowAttributes::Effect::LAYERED_IMAGE);
    EXPECT_TRUE(a.noActivate());
    EXPECT_EQ(a.layeredOpacity(), 255);
    EXPECT_TRUE(a.layered());
    EXPECT_EQ(a.layeredImage().file, "bg.png");

    // A named attribute keeps its first value.
    a.set("skin", "a");
    a.set("skin", "b");
    a.set("Skin", "c");
    EXPECT_EQ(a.get("skin"), "a");
    EXPECT_EQ(a.get("Skin"), "c");
}

struct Recorder : INotifyUI {
    std::vector<std::string> types;
    void notify(Notification& msg) override { types.push_back(msg.type); }
};

TEST(ControlAttributeTest, OptionGroupsAndSelectionNotifications) {
    PaintManager manager;
    manager.init(nullptr);
    auto* root = new CContainerUI;
    auto* a = new COptionUI;
    auto* b = new COptionUI;
    auto* check = new CCheckBoxUI;
    a->setGroup("g");
    b->setGroup("g");
    root->add(a);
    root->add(b);
    root->add(check);
    manager.attachRoot(root);
    Recorder recorder;
    manager.addNotifier(&recorder);

    a->selected(true);
    b->selected(true);
    EXPECT_FALSE(a->isSelected());
    EXPECT_TRUE(b->isSelected());
    // Deselecting a grouped option sends nothing; selecting sends one "selectchanged".
    EXPECT_EQ(recorder.types, (std::vector<std::string>{"selectchanged", "selectchanged"}));

    recorder.types.clear();
    check->selected(true);
    check->selected(true);
    check->selected(false, false);
    EXPECT_EQ(recorder.types, (std::vector<std::string>{"selectchanged"}));

    // A control that goes away leaves no stale reference in its group.
    root->remove(a);
    ASSERT_NE(manager.getOptionGroup("g"), nullptr);
    EXPECT_EQ(manager.getOptionGroup("g")->size(), 1u);
    manager.removeNotifier(&recorder);
}

TEST(ControlAttributeTest, NotificationsAreSynchronousAndQueuedOnesCoalesce) {
    PaintManager manager;
    manager.init(nullptr);
    auto* root = new CContainerUI;
    auto* button = new CButtonUI;
    root->add(button);
    manager.attachRoot(root);
    std::vector<std::string> order;
    button->on_notify.push_back([&](Notification& msg) {
        order.push_back("own:" + msg.type);
        if (msg.type == "outer") {
            manager.sendNotify(button, "inner"); // nested sends deliver at once
        }
        return true;
    });
    struct Tail : INotifyUI {
        std::vector<std::string>* order;
        void notify(Notification& msg) override { order->push_back("notifier:" + msg.type); }
    } tail;
    tail.order = &order;
    manager.addNotifier(&tail);

    manager.sendNotify(button, "outer", 1, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"own:outer", "own:inner", "notifier:inner",
                                               "notifier:outer"}));
    order.clear();
    manager.sendNotify(button, "timer", 1, 0, true);
    manager.sendNotify(button, "timer", 2, 0, true);
    manager.sendNotify(button, "timer", 3, 0, true, true);
    EXPECT_EQ(manager.asyncQueueSize(), 2u);
    EXPECT_TRUE(order.empty());
    manager.deliverAsyncNotifications();
    EXPECT_EQ(order.size(), 4u);
    manager.removeNotifier(&tail);
}

TEST(FontTest, SkinFacesResolveThroughTheAliases) {
    PaintManager manager;
    FontEntry* yahei = manager.addFont(1, "微软雅黑", 14, false, false, false);
    FontEntry* song = manager.addFont(4, "宋体", 13, false, false, false);
    ASSERT_NE(yahei, nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(yahei->resolvedFamily(), "WenQuanYi Micro Hei");
    // Outside a Chinese locale the serif CJK face gives way to a Latin one.
    EXPECT_EQ(song->resolvedFamily(), "DejaVu Sans");
    EXPECT_GE(yahei->charHeight(), 14);
    EXPECT_LE(yahei->charHeight(), 24);
    UiSize one = yahei->measureText("安装");
    UiSize two = yahei->measureText("安装安装");
    EXPECT_GT(one.cx, 0);
    EXPECT_NEAR(two.cx, 2 * one.cx, 1);
    // Wrapped text grows downwards.
    EXPECT_GT(yahei->measureText("安装安装安装安装", one.cx + 2).cy, one.cy);
}

TEST(FontTest, LookupOrderAndReplacement) {
    PaintManager manager;
    PaintManager other;
    FontEntry* own = manager.addFont(7, "Sans", 10, false, false, false);
    FontEntry* shared = manager.addFont(8, "Sans", 11, true, false, false, true);
    EXPECT_EQ(manager.getFont(7), own);
    EXPECT_EQ(other.getFont(8), shared);
    EXPECT_EQ(other.getFont(7), other.getDefaultFont()); // not registered there
    EXPECT_EQ(manager.getFont(9), manager.getDefaultFont());
    FontEntry* replaced = manager.addFont(7, "Sans", 20, false, true, true);
    EXPECT_EQ(manager.getFont(7), replaced);
    EXPECT_EQ(replaced->size(), 20);
    EXPECT_TRUE(replaced->underline());
    manager.setDefaultFont("Sans", 15, false, false, false);
    EXPECT_EQ(manager.getDefaultFont()->size(), 15);
    EXPECT_NE(other.getDefaultFont()->size(), 15);
    PaintManager::removeAllSharedFonts();
}

// The skin's fonts are made on first use: they must come out as an eagerly made font would,
// keep the own-before-shared order, and stay one object per registration.
TEST(FontTest, DeclaredFontsAreMadeOnFirstUseWithTheSameLookups) {
    PaintManager manager;
    PaintManager other;
    manager.declareFont(1, "宋体", 13, true, false, false);
    manager.declareFont(2, "Sans", 11, false, true, false, true);
    other.declareFont(2, "Sans", 17, false, false, false);
    FontEntry* song = manager.getFont(1);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->resolvedFamily(), "DejaVu Sans");
    EXPECT_EQ(song->size(), 13);
    EXPECT_TRUE(song->bold());
    EXPECT_EQ(manager.getFont(1), song);
    EXPECT_TRUE(manager.getFont(2)->underline()); // the shared one
    EXPECT_EQ(other.getFont(2)->size(), 17);      // the window's own comes first
    EXPECT_EQ(other.getFont(1), other.getDefaultFont());
    // Declaring an id again replaces the font, made or not.
    manager.declareFont(1, "Sans", 20, false, false, false);
    EXPECT_EQ(manager.getFont(1)->size(), 20);
    PaintManager::removeAllSharedFonts();
}

TEST(FontTest, LabelSizeEstimates) {
    PaintManager manager;
    manager.init(nullptr);
    FontEntry* font = manager.addFont(1, "微软雅黑", 14, false, false, false);
    auto* root = new CContainerUI;
    auto* label = new CLabelUI;
    auto* html = new CLabelUI;
    auto* button = new CButtonUI;
    for (CControlUI* c : {static_cast<CControlUI*>(label), static_cast<CControlUI*>(html),
                          static_cast<CControlUI*>(button)}) {
        root->add(c);
    }
    manager.attachRoot(root);
    label->setFont(1);
    label->setTextPadding(UiRect{20, 1, 3, 2});
    label->setText("正在安装...");
    const int text_width = font->measureText("正在安装...").cx;
    EXPECT_EQ(label->estimateSize(UiSize{500, 50}),
              (UiSize{23 + text_width, 3 + font->charHeight() + 8}));
    label->setFixedHeight(16);
    EXPECT_EQ(label->estimateSize(UiSize{500, 50}), (UiSize{23 + text_width, 16}));
    label->setText("正在安装...正在安装...");
    EXPECT_GT(label->estimateSize(UiSize{500, 50}).cx, 23 + text_width);
    label->setFixedWidth(56);
    EXPECT_EQ(label->estimateSize(UiSize{500, 50}), (UiSize{56, 16}));
    label->setFixedHeight(0);
    label->setAttribute("multiline", "true");
    UiSize wrapped = label->estimateSize(UiSize{500, 200});
    EXPECT_EQ(wrapped.cx, 56);
    EXPECT_GT(wrapped.cy, font->charHeight() + 3);

    // Markup tags are not measured.
    html->setFont(1);
    html->setShowHtml(true);
    html->setText("<c #fee88a><u>许可协议</u></c>");
    EXPECT_EQ(html->estimateSize(UiSize{500, 50}).cx, font->measureText("许可协议").cx);

    // Buttons: the fixed size with a fixed height, else the font's height + 8.
    button->setFixedWidth(40);
    EXPECT_EQ(button->estimateSize(UiSize{500, 50}),
              (UiSize{40, manager.getDefaultFont()->charHeight() + 8}));
    button->setFixedHeight(16);
    EXPECT_EQ(button->estimateSize(UiSize{500, 50}), (UiSize{40, 16}));
}

} // namespace
} // namespace inkwarden
