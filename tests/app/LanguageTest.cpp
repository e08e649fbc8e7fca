// The installer in the user's language: the language picked from the environment, the
// catalogue's texts in the skin and the program, the images with words per language, and
// every text fitting its control on every page in every language.
#include "app/CProxySignInDialog.h"
#include "app/FailureCause.h"
#include "app/InstallController.h"
#include "app/InstallFailure.h"
#include "app/InstallFolderCheck.h"
#include "platform/Translation.h"
#include "tests/support/TestLanguage.h"
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

TEST(Language, PickedFromTheEnvironmentInGettextsOrder) {
    struct Case {
        std::map<std::string, std::string> env;
        const char* language;
    } const cases[] = {
        {{}, "en"},
        {{{"LANG", "C"}}, "en"},
        {{{"LANG", "C.UTF-8"}}, "en"},
        {{{"LANG", "zh_CN.UTF-8"}}, "zh_CN"},
        {{{"LANG", "zh_TW.UTF-8"}}, "zh_CN"},
        {{{"LANG", "zh_SG"}}, "zh_CN"},
        {{{"LANG", "de_DE.UTF-8"}}, "en"},
        {{{"LANG", "ar_EG.UTF-8"}}, "en"},
        // LC_ALL over LC_MESSAGES over LANG
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}, "zh_CN"},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}}, "en"},
        {{{"LC_MESSAGES", "zh_CN.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, "en"},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", ""}}, "zh_CN"},
        // LANGUAGE is a priority list over all of them, the first language we have wins...
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_CN:en"}}, "zh_CN"},
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de:zh_TW"}}, "zh_CN"},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "en_GB:zh_CN"}}, "en"},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "fr:de"}}, "zh_CN"},
        // ...except under the C locale, as gettext does.
        {{{"LC_ALL", "C"}, {"LANGUAGE", "zh_CN"}}, "en"},
    };
    // Catalogues for Chinese; every language without one reads English.
    const auto has_catalogue = [](const std::string& language) { return language == "zh_CN"; };
    for (const Case& c : cases) {
        std::string described;
        for (const auto& [name, value] : c.env) {
            described += name + "=" + value + " ";
        }
        EXPECT_EQ(PickLanguage(
                      [&](const char* name) -> const char* {
                          const auto it = c.env.find(name);
                          return it == c.env.end() ? nullptr : it->second.c_str();
                      },
                      has_catalogue),
                  c.language)
            << described;
    }
}

TEST(Language, ATranslatorsNewCatalogueIsPickedWithoutCode) {
    const auto has_catalogue = [](const std::string& language) {
        return language == "zh_CN" || language == "de" || language == "pt_BR";
    };
    const auto pick = [&](const char* lang) {
        return PickLanguage(
            [&](const char* name) { return std::string(name) == "LANG" ? lang : nullptr; },
            has_catalogue);
    };
    EXPECT_EQ(pick("de_AT.UTF-8"), "de");
    EXPECT_EQ(pick("de_DE@euro"), "de");
    EXPECT_EQ(pick("pt_BR.UTF-8"), "pt_BR");
    EXPECT_EQ(pick("pt_PT.UTF-8"), "en");
    EXPECT_EQ(pick("zh_TW.Big5"), "zh_CN");
}

TEST(Language, ChineseLocaleShowsTheCatalogueAndEnglishTheTextsAsWritten) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    EXPECT_STREQ(Tr("Install now"), "立即安装");
    EXPECT_STREQ(Tr("Cancel"), "取消");
    EXPECT_STREQ(InstallFailureText(InstallFailure::DISK_FULL), "磁盘空间不足，请清理后重试");
    // A text the catalogue does not know stays as written.
    EXPECT_STREQ(Tr("no such text"), "no such text");
    // The engine's causes are English; the page shows them translated, figures kept and the
    // address for the log left out.
    EXPECT_EQ(DownloadFailedText("HTTP status 503 (http://mirror.example/p.bin)"),
              "下载失败：HTTP 状态 503。");
    EXPECT_EQ(DownloadFailedText("the file changed on the server"),
              "下载失败：服务器上的文件已更改。");
    // A Chinese locale that this machine lacks still gets Chinese texts.
    EXPECT_EQ(test::UseLocale("zh_HK.UTF-8"), "zh_CN");
    EXPECT_STREQ(Tr("Try again"), "重新安装");

    for (const char* locale : {"en_US.UTF-8", "C", "de_DE.UTF-8"}) {
        EXPECT_EQ(test::UseLocale(locale), "en") << locale;
        EXPECT_STREQ(Tr("Install now"), "Install now") << locale;
    }
}

// The installer's skin built headless in one language.
class SkinInLanguage {
public:
    explicit SkinInLanguage(const char* locale, const char* (*language)(const char*) = nullptr,
                            const char* file = "main_frame.xml") {
        test::UseLocale(locale);
        if (language != nullptr) {
            SetTranslationOverride(language);
        }
        SkinPackage::reset();
        SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
        std::string error;
        loaded_ = view_.load(file, {}, error);
        EXPECT_TRUE(loaded_) << error;
        view_.settle();
    }
    ~SkinInLanguage() {
        SkinPackage::reset();
        SetTranslationOverride(nullptr);
        test::UseLocale("C.UTF-8");
    }
    bool loaded() const { return loaded_; }
    HeadlessSkinView& view() { return view_; }

    // "text: overflow" for every text shown on the page that does not fit. The failure
    // page is looked at with its contact link and with each cause the installer may give.
    std::vector<std::string> cutTexts(int page) {
        view_.find<CTabLayoutUI>("tab_page")->selectItem(page, false);
        std::vector<std::string> cut;
        if (page != InstallController::PAGE_FAILURE) {
            view_.settle();
            collect(view_.manager().getRoot(), cut);
            return cut;
        }
        view_.find<CControlUI>("btn_contact_us")->setVisible(true);
        std::vector<std::string> causes;
        for (int cause = static_cast<int>(InstallFailure::SERVICE_UNREACHABLE);
             cause <= static_cast<int>(InstallFailure::VERSION_MISMATCH); ++cause) {
            causes.push_back(InstallFailureText(static_cast<InstallFailure>(cause)));
        }
        // The causes with their figures, with places of a common length.
        causes.push_back(ProxySignInText(LONG_PROXY));
        causes.push_back(NoRoomText(96'000'000, 3'100'000, "/home"));
        causes.push_back(ServiceErrorText(503));
        causes.push_back(DownloadFailedText("the file changed on the server"));
        causes.push_back(TempFolderText("/home/someone/.cache/inkwarden", EACCES));
        causes.push_back(FolderVerdictText({FolderProblem::READ_ONLY, "/media/someone/USB"}));
        causes.push_back(FolderVerdictText({FolderProblem::NOT_WRITABLE, "/opt"}));
        for (const std::string& cause : causes) {
            view_.find<CLabelUI>("failure_reason")->setText(cause);
            view_.settle();
            collect(view_.manager().getRoot(), cut);
        }
        return cut;
    }

    // The same for the whole tree as it is (a dialog).
    std::vector<std::string> cutTexts() {
        std::vector<std::string> cut;
        view_.settle();
        collect(view_.manager().getRoot(), cut);
        return cut;
    }

    // A proxy's name as long as an office's may be.
    static constexpr const char* LONG_PROXY = "proxy-gateway.example.com:3128";

private:
    static void collect(CControlUI* control, std::vector<std::string>& cut) {
        if (control == nullptr || !control->isVisible()) {
            return;
        }
        auto* label = dynamic_cast<CLabelUI*>(control);
        // An edit field's text is the user's value, not the program's words.
        if (label != nullptr && dynamic_cast<CEditUI*>(control) == nullptr) {
            if (const int overflow = label->textOverflow(); overflow > 0) {
                cut.push_back(label->getText() + ": " + std::to_string(overflow) + " px");
            }
        }
        if (auto* container = dynamic_cast<CContainerUI*>(control)) {
            for (int i = 0; i < container->getCount(); ++i) {
                collect(container->getItemAt(i), cut);
            }
        }
    }

    HeadlessSkinView view_;
    bool loaded_ = false;
};

// English made 40 % longer, as a longer language would be: the layout must leave room.
const char* PseudoLonger(const char* text) {
    static std::map<std::string, std::string> made;
    auto it = made.find(text);
    if (it == made.end()) {
        std::string shown;
        bool in_tag = false;
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '<') {
                in_tag = true;
            } else if (*p == '>') {
                in_tag = false;
            } else if (!in_tag) {
                shown += *p;
            }
        }
        // Plain text ahead of any markup keeps the markup whole.
        const std::size_t extra = (shown.size() * 4 + 9) / 10;
        it = made.emplace(text, shown.substr(0, extra) + text).first;
    }
    return it->second.c_str();
}

TEST(Language, EveryTextFitsItsControlOnEveryPage) {
    struct Language {
        const char* name;
        const char* locale;
        const char* (*texts)(const char*);
    } const languages[] = {
        {"English", "en_US.UTF-8", nullptr},
        {"Chinese", "zh_CN.UTF-8", nullptr},
        {"English 40 % longer", "en_US.UTF-8", &PseudoLonger},
    };
    constexpr int PAGES = 4;
    for (const Language& language : languages) {
        SkinInLanguage skin(language.locale, language.texts);
        ASSERT_TRUE(skin.loaded());
        for (int page = 0; page < PAGES; ++page) {
            EXPECT_EQ(skin.cutTexts(page), std::vector<std::string>{})
                << language.name << ", page " << page;
        }
    }
}

TEST(Language, TheProxySignInDialogFitsInEveryLanguage) {
    struct Language {
        const char* name;
        const char* locale;
        const char* (*texts)(const char*);
    } const languages[] = {
        {"English", "en_US.UTF-8", nullptr},
        {"Chinese", "zh_CN.UTF-8", nullptr},
        {"English 40 % longer", "en_US.UTF-8", &PseudoLonger},
    };
    for (const Language& language : languages) {
        SkinInLanguage skin(language.locale, language.texts, CProxySignInDialog::SKIN_FILE);
        ASSERT_TRUE(skin.loaded());
        // The texts the dialog sets, as it sets them after a refused sign-in.
        skin.view()
            .find<CLabelUI>("sign_in_prompt")
            ->setText(ProxySignInText(SkinInLanguage::LONG_PROXY));
        skin.view()
            .find<CLabelUI>("sign_in_refused")
            ->setText(Tr(CProxySignInDialog::REFUSED_TEXT));
        EXPECT_EQ(skin.cutTexts(), std::vector<std::string>{}) << language.name;
    }
}

} // namespace
} // namespace inkwarden
