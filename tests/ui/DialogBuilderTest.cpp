// The builder's rules: what goes to the manager, which class an element makes, in which order
// a control gets its children and attributes, and how a build fails.
#include "ui/controls/DialogBuilder.h"

#include "BuildConfig.h"
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/controls/IDialogBuilderCallback.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/PaintManager.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;

int ChildCount(CControlUI* control) {
    auto* container = static_cast<IContainerUI*>(control->getInterface("IContainer"));
    return container == nullptr ? -1 : container->getCount();
}

// A container that records how many children it had when each attribute arrived.
class ProbeUI : public CContainerUI {
public:
    const char* getClass() const override { return "Probe"; }
    void setAttribute(std::string_view name, std::string_view value) override {
        seen.push_back(std::string(name) + "@" + std::to_string(getCount()));
        CContainerUI::setAttribute(name, value);
    }
    std::vector<std::string> seen;
};

class RecordingCallback : public IDialogBuilderCallback {
public:
    CControlUI* createControl(const char* name) override {
        asked.emplace_back(name);
        return std::strcmp(name, "Probe") == 0 ? new ProbeUI : nullptr;
    }
    std::vector<std::string> asked;
};

CControlUI* MakeFactoryLabel(const char* name) {
    return std::strcmp(name, "Probe") == 0 ? new CLabelUI : nullptr;
}

class DialogBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkinPackage::reset();
        manager_.init(nullptr, "test");
    }
    void TearDown() override {
        SkinPackage::reset();
        PaintManager::removeAllSharedFonts();
        PaintManager::removeAllSharedDefaultAttributeLists();
        PaintManager::removeAllMultiLanguageStrings();
        DialogBuilder::unregisterFactory(MakeFactoryLabel);
        if (!dir_.empty()) {
            fs::remove_all(dir_);
        }
    }
    // Builds and hands the tree to the manager, which then owns it.
    CControlUI* Build(const std::string& markup, IDialogBuilderCallback* callback = nullptr) {
        CControlUI* root = builder_.create(markup, callback, &manager_);
        if (root != nullptr) {
            manager_.attachRoot(root);
        }
        return root;
    }
    // Never null, so that a missing control fails the test instead of crashing it.
    CControlUI* Find(const char* name) {
        CControlUI* control = manager_.findControlByName(name);
        EXPECT_NE(control, nullptr) << name;
        return control != nullptr ? control : &missing_;
    }
    std::string Folder() {
        if (dir_.empty()) {
            dir_ = fs::temp_directory_path() / ("iw_builder_" + std::to_string(::getpid()));
            fs::create_directories(dir_);
        }
        return dir_.string();
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(fs::path(Folder()) / name, std::ios::binary) << text;
    }

    PaintManager manager_;
    DialogBuilder builder_;
    fs::path dir_;
    CControlUI missing_;
};

TEST_F(DialogBuilderTest, WindowAttributesReachTheManager) {
    ASSERT_NE(Build(R"(<Window size="570,460" caption="0,0,0,35" mininfo="570,370"
        maxinfo="570,460" sizebox="1,2,3,4" opacity="300" LayeredImage="x.png" skin="a"
        skin="b" layeredimage="file='png\bg.png' source='0,2,570,460'"><Control /></Window>)"),
              nullptr);
    EXPECT_EQ(manager_.getInitSize(), (UiSize{570, 460}));
    EXPECT_EQ(manager_.getCaptionRect(), (UiRect{0, 0, 0, 35}));
    EXPECT_EQ(manager_.getMinInfo(), (UiSize{570, 370}));
    EXPECT_EQ(manager_.getMaxInfo(), (UiSize{570, 460}));
    EXPECT_EQ(manager_.getSizeBox(), (UiRect{1, 2, 3, 4}));
    EXPECT_EQ(manager_.getOpacity(), 255);
    // "layeredimage" is matched in exact case only; other names are kept, first value wins.
    EXPECT_TRUE(manager_.isLayered());
    EXPECT_EQ(manager_.getWindowAttribute("LayeredImage"), "x.png");
    EXPECT_EQ(manager_.getWindowAttribute("skin"), "a");

    // Only a root named Window (any case) configures the window.
    PaintManager other;
    other.init(nullptr, "other");
    DialogBuilder builder;
    delete builder.create(R"(<Dialog size="10,20"><Control /></Dialog>)", nullptr, &other);
    EXPECT_EQ(other.getInitSize(), (UiSize{0, 0}));
    delete builder.create(R"(<wINDOW size="10,20"><Control /></wINDOW>)", nullptr, &other);
    EXPECT_EQ(other.getInitSize(), (UiSize{10, 20}));
}

TEST_F(DialogBuilderTest, ResourceElementsRegisterFontsImagesDefaultsAndTexts) {
    ASSERT_NE(Build(R"(<Window>
        <Font ID="1" NAME="Sans" Size="14" bold="TRUE" italic="yes" />
        <Font id="2" name="Sans" default="True" />
        <Font id="-1" name="Sans" size="40" />
        <Font id="3" size="40" />
        <Image name="png\a.png" restype="PNG" mask="#FF00FF" />
        <Image restype="PNG" />
        <MultiLanguage id="7" value="seven" />
        <Default name="Label" value="text=&quot;from default&quot; height=&quot;16&quot;" />
        <VerticalLayout>
            <Label name="plain" />
            <Label name="own" text="own text" />
            <lAbEl name="anycase" />
        </VerticalLayout>
    </Window>)"),
              nullptr);
    FontEntry* font = manager_.getFont(1);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size(), 14);
    EXPECT_TRUE(font->bold());
    EXPECT_FALSE(font->italic());
    // Size defaults to 12; id 2 is also the manager's default font.
    EXPECT_EQ(manager_.getFont(2)->size(), 12);
    EXPECT_EQ(manager_.getDefaultFont()->size(), 12);
    // Fonts without an id or a name are not registered: the lookups fall back.
    EXPECT_EQ(manager_.getFont(3), manager_.getDefaultFont());

    const PaintManager::ImageRegistration* image = manager_.getImage("png\\a.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->res_type, "PNG");
    EXPECT_EQ(image->mask, 0xFF00FFu);

    ASSERT_NE(PaintManager::getMultiLanguageString(7), nullptr);
    EXPECT_EQ(*PaintManager::getMultiLanguageString(7), "seven");

    // The default list comes first, the element's own attributes after it.
    EXPECT_EQ(Find("plain")->getText(), "from default");
    EXPECT_EQ(Find("plain")->getFixedHeight(), 16);
    EXPECT_EQ(Find("own")->getText(), "own text");
    EXPECT_EQ(Find("anycase")->getText(), "from default");
}

TEST_F(DialogBuilderTest, AttributeListSyntaxStopsAtTheFirstMalformedPair) {
    ASSERT_NE(Build(R"(<Window>
        <Default name="Label" value="width=&quot;10&quot; height=&quot;20&quot;text=&quot;x&quot;" />
        <Default name="Button" value="width=&quot;10&quot;	height=&quot;20&quot;" />
        <Default name="Text" value="width=10 height=&quot;20&quot;" />
        <Default name="Edit" value=" width=&quot;30&quot; k=&quot;a=b&quot; z=&quot;1" />
        <VerticalLayout>
            <Label name="l" /><Button name="b" /><Text name="t" /><Edit name="e" />
        </VerticalLayout>
    </Window>)"),
              nullptr);
    // No space after a closing quote: the list ends there.
    EXPECT_EQ(Find("l")->getFixedWidth(), 10);
    EXPECT_EQ(Find("l")->getFixedHeight(), 20);
    EXPECT_EQ(Find("l")->getText(), "");
    // Only a single space continues the list (the markup collapses longer runs of spaces,
    // but keeps a tab).
    EXPECT_EQ(Find("b")->getFixedWidth(), 10);
    EXPECT_EQ(Find("b")->getFixedHeight(), 0);
    // A value must be quoted.
    EXPECT_EQ(Find("t")->getFixedWidth(), 0);
    EXPECT_EQ(Find("t")->getFixedHeight(), 0);
    // Names run up to the "=" (blanks included); "=" inside a value is text; an unclosed
    // value is dropped.
    EXPECT_EQ(Find("e")->getFixedWidth(), 0);
    EXPECT_EQ(Find("e")->getCustomAttribute(" width"), "30");
    EXPECT_EQ(Find("e")->getCustomAttribute("k"), "a=b");
    EXPECT_EQ(Find("e")->getCustomAttribute("z"), "");
}

TEST_F(DialogBuilderTest, ClassLookupGoesBuiltInThenFactoriesThenCallback) {
    RecordingCallback callback;
    CControlUI* root = Build(R"(<Window>
        <verticallayout name="root">
            <BUTTON name="b" />
            <Probe name="probe" />
            <Unknown name="lost"><Label name="lost_child" /></Unknown>
            <Image name="not a control" />
        </verticallayout>
    </Window>)",
                             &callback);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->getClass(), "VerticalLayout");
    EXPECT_STREQ(Find("b")->getClass(), "Button");
    EXPECT_STREQ(Find("probe")->getClass(), "Probe");
    // An element nobody makes is skipped with its subtree.
    EXPECT_EQ(manager_.findControlByName("lost"), nullptr);
    EXPECT_EQ(manager_.findControlByName("lost_child"), nullptr);
    EXPECT_EQ(ChildCount(root), 2);
    EXPECT_EQ(callback.asked, (std::vector<std::string>{"Probe", "Unknown"}));

    // A plug-in factory is asked before the callback.
    DialogBuilder::registerFactory(MakeFactoryLabel);
    PaintManager other;
    other.init(nullptr, "other");
    RecordingCallback second;
    DialogBuilder builder;
    std::unique_ptr<CControlUI> made(builder.create("<Window><Probe /></Window>", &second, &other));
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->getClass(), "Label");
    EXPECT_TRUE(second.asked.empty());
}

TEST_F(DialogBuilderTest, ChildrenComeBeforeTheirParentsAttributes) {
    RecordingCallback callback;
    ASSERT_NE(Build(R"(<Window>
        <Probe name="probe" width="5" bkcolor="#FF000000" height="">
            <Control name="one" /><Control name="two" />
            <Control name="cover" cover="true" />
        </Probe>
    </Window>)",
                    &callback),
              nullptr);
    auto* probe = static_cast<ProbeUI*>(Find("probe"));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->seen,
              (std::vector<std::string>{"name@2", "width@2", "bkcolor@2", "height@2"}));
    // The cover control is not one of the children.
    ASSERT_NE(probe->getCover(), nullptr);
    EXPECT_EQ(probe->getCover()->getName(), "cover");
    // height="" sets no fixed height.
    EXPECT_EQ(probe->getFixedHeight(), 0);
}

TEST_F(DialogBuilderTest, FailedBuildsReturnNothing) {
    // A markup error, with the parser's message.
    EXPECT_EQ(builder_.create("<Window><Control name='x' /></Window>", nullptr, &manager_),
              nullptr);
    EXPECT_EQ(builder_.lastErrorMessage(), "Expected attribute value");
    // An empty document element builds nothing.
    EXPECT_EQ(builder_.create("<Window />", nullptr, &manager_), nullptr);
    // A child inside a control that is no container fails the whole build.
    EXPECT_EQ(builder_.create(R"(<Window><VerticalLayout><Button><Label /></Button>
        </VerticalLayout><Control /></Window>)",
                              nullptr, &manager_),
              nullptr);
    // A missing resource, a missing file.
    EXPECT_EQ(builder_.create(424242, "xml", nullptr, &manager_), nullptr);
    SkinPackage::setResourcePath(Folder());
    EXPECT_EQ(builder_.create("missing.xml", nullptr, &manager_), nullptr);
    EXPECT_EQ(builder_.lastErrorMessage(), "Error opening file");
}

// Every pass over the tree recurses per level, so a skin that nests without end must fail
// to build instead of overflowing the stack.
TEST_F(DialogBuilderTest, TooDeepNestingFailsWithAReason) {
    auto nested = [](int levels) {
        std::string markup = "<Window>";
        for (int i = 0; i < levels; ++i) {
            markup += "<VerticalLayout>";
        }
        for (int i = 0; i < levels; ++i) {
            markup += "</VerticalLayout>";
        }
        return markup + "</Window>";
    };
    std::unique_ptr<CControlUI> deepest(builder_.create(nested(DialogBuilder::MAX_NESTING)));
    EXPECT_NE(deepest, nullptr);
    EXPECT_EQ(builder_.create(nested(100000)), nullptr);
    EXPECT_EQ(builder_.lastErrorMessage(), "Controls nested too deeply");
}

TEST_F(DialogBuilderTest, SourcesFilesResourcesAndIncludes) {
    SkinPackage::setResourcePath(Folder());
    WriteFile("row.xml", R"(<Window><Label name="row" text="r" /></Window>)");
    WriteFile("self.xml", R"(<Window><Include source="self.xml" /><Label name="s" /></Window>)");
    WriteFile("main.xml", R"(<Window><VerticalLayout name="main">
        <Include source="row.xml" count="3" />
        <Include source="self.xml" />
    </VerticalLayout></Window>)");
    CControlUI* root = Build("main.xml");
    ASSERT_NE(root, nullptr) << builder_.lastErrorMessage();
    // Three rows, then self.xml once: its Include of itself is skipped.
    EXPECT_EQ(ChildCount(root), 4);
    EXPECT_EQ(Find("row")->getText(), "r");
    EXPECT_NE(Find("s"), nullptr);

    // From a module resource of type "xml"; the text is UTF-8.
    const std::string markup = R"(<Window><Label name="res" text="墨守" /></Window>)";
    ModuleResources::registerResource(
        "xml", 4711, {reinterpret_cast<const unsigned char*>(markup.data()), markup.size()});
    PaintManager other;
    other.init(nullptr, "other");
    DialogBuilder builder;
    CControlUI* made = builder.create(4711, nullptr, nullptr, &other);
    ModuleResources::unregisterResource("xml", 4711);
    ASSERT_NE(made, nullptr);
    other.attachRoot(made);
    EXPECT_EQ(other.findControlByName("res")->getText(), "墨守");
}

} // namespace
} // namespace inkwarden
