// SPDX-License-Identifier: GPL-3.0-or-later

// The Nautilus extension loaded as Nautilus loads it, asked for menus about stand-in files, and its items
// activated. This copy of the module runs a stand-in helper at TARVO_FINDER_HELPER.
#include "TarvoHelperPath.h"
#include "TestSupport.h"
#include "finder/FinderRules.h"

#include <chrono>
#include <gmodule.h>
#include <gtest/gtest.h>
#include <nautilus-extension.h>
#include <sys/wait.h>

// A file as the extension sees it: a location, maybe an activation target, and whether it is a folder.
G_DECLARE_FINAL_TYPE(TestFileInfo, test_file_info, TEST, FILE_INFO, GObject)
struct _TestFileInfo
{
    GObject parent_instance;
    GFile* location;
    char* activation_uri;
    gboolean directory;
};
static void test_file_info_interface_init(NautilusFileInfoInterface* iface)
{
    iface->get_location = [](NautilusFileInfo* file) { return G_FILE(g_object_ref(TEST_FILE_INFO(file)->location)); };
    iface->get_activation_uri = [](NautilusFileInfo* file) { return g_strdup(TEST_FILE_INFO(file)->activation_uri); };
    iface->is_directory = [](NautilusFileInfo* file) { return TEST_FILE_INFO(file)->directory; };
}
G_DEFINE_TYPE_WITH_CODE(TestFileInfo, test_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, test_file_info_interface_init))
static void test_file_info_init(TestFileInfo*) {}
static void test_file_info_class_init(TestFileInfoClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = [](GObject* object) {
        g_clear_object(&TEST_FILE_INFO(object)->location);
        g_free(TEST_FILE_INFO(object)->activation_uri);
        G_OBJECT_CLASS(test_file_info_parent_class)->finalize(object);
    };
}

// The module host: what Nautilus does with each .so in its extension folder.
G_DECLARE_FINAL_TYPE(TestModule, test_module, TEST, MODULE, GTypeModule)
struct _TestModule
{
    GTypeModule parent_instance;
    GModule* library;
};
G_DEFINE_TYPE(TestModule, test_module, G_TYPE_TYPE_MODULE)
static void test_module_init(TestModule*) {}
static void test_module_class_init(TestModuleClass* klass)
{
    G_TYPE_MODULE_CLASS(klass)->load = [](GTypeModule* module) -> gboolean {
        GModule*& library = TEST_MODULE(module)->library;
        library = g_module_open(TARVO_NAUTILUS_TEST_MODULE, G_MODULE_BIND_LAZY);
        gpointer initialize = nullptr;
        if (library == nullptr || !g_module_symbol(library, "nautilus_module_initialize", &initialize)) {
            return FALSE;
        }
        reinterpret_cast<void (*)(GTypeModule*)>(initialize)(module);
        return TRUE;
    };
    G_TYPE_MODULE_CLASS(klass)->unload = [](GTypeModule*) {};
}

namespace tarvo::finder {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<std::pair<std::string, std::string>>;

// Stand-in files live where GIO knows them as plain paths.
const bool g_localVfs = g_setenv("GIO_USE_VFS", "local", TRUE);

NautilusMenuProvider* provider()
{
    static NautilusMenuProvider* instance = []() -> NautilusMenuProvider* {
        auto* module = TEST_MODULE(g_object_new(test_module_get_type(), nullptr));
        gpointer listTypes = nullptr;
        gpointer shutdown = nullptr;
        // Nautilus skips a module that lacks any of its three functions.
        if (!g_type_module_use(G_TYPE_MODULE(module)) ||
            !g_module_symbol(module->library, "nautilus_module_list_types", &listTypes) ||
            !g_module_symbol(module->library, "nautilus_module_shutdown", &shutdown)) {
            ADD_FAILURE() << "cannot load " << TARVO_NAUTILUS_TEST_MODULE << ": " << g_module_error();
            return nullptr;
        }
        const GType* types = nullptr;
        int count = 0;
        reinterpret_cast<void (*)(const GType**, int*)>(listTypes)(&types, &count);
        return count == 1 ? NAUTILUS_MENU_PROVIDER(g_object_new(types[0], nullptr)) : nullptr;
    }();
    return instance;
}

TestFileInfo* file(const char* uri, bool directory = false, const char* activationUri = nullptr)
{
    auto* info = TEST_FILE_INFO(g_object_new(test_file_info_get_type(), nullptr));
    info->location = g_file_new_for_uri(uri);
    info->activation_uri = g_strdup(activationUri);
    info->directory = directory;
    return info;
}

// The items offered for a selection, as (name, label); `activate` sees each item while it lives.
Items menu(std::initializer_list<TestFileInfo*> files, const std::function<void(NautilusMenuItem*)>& activate = {})
{
    GList* selection = nullptr;
    for (TestFileInfo* info : files) {
        selection = g_list_append(selection, info);
    }
    GList* items = nautilus_menu_provider_get_file_items(provider(), selection);
    Items result;
    for (GList* node = items; node != nullptr; node = node->next) {
        char* name = nullptr;
        char* label = nullptr;
        g_object_get(node->data, "name", &name, "label", &label, nullptr);
        result.emplace_back(name, label);
        if (activate && result.back().first == "TarvoMenuProvider::test") {
            activate(NAUTILUS_MENU_ITEM(node->data));
        }
        g_free(name);
        g_free(label);
    }
    nautilus_menu_item_list_free(items);
    g_list_free_full(selection, g_object_unref);
    return result;
}

TEST(NautilusModule, CompressForLocalItemsExtractAndTestOnlyWhenAllAreArchiveFilesInTheHelpersLanguage)
{
    ASSERT_NE(provider(), nullptr);
    test::ScopedEnv all("LC_ALL", "C");
    const Items both{{"TarvoMenuProvider::compress", "Compress with Tarvo"},
                     {"TarvoMenuProvider::extract", "Extract with Tarvo"},
                     {"TarvoMenuProvider::test", "Test with Tarvo"}};
    const Items compress{both[0]};
    EXPECT_EQ(menu({file("file:///d/A.ZIP"), file("file:///d/b.Rar"), file("file:///d/c.7z")}), both);
    EXPECT_EQ(menu({file("file:///d/A.zip"), file("file:///d/notes.txt")}), compress);
    EXPECT_EQ(menu({file("file:///d/folder.zip", true)}), compress);
    EXPECT_EQ(menu({file("file:///d/x.tar.gz")}), compress);
    // Recent and Starred show items elsewhere that open local files.
    EXPECT_EQ(menu({file("recent:///1f3a", false, "file:///d/y.zip")}), both);
    EXPECT_EQ(menu({file("sftp://host/x.zip")}), Items{});
    EXPECT_EQ(menu({}), Items{});
    TestFileInfo* folder = file("file:///d", true);
    EXPECT_EQ(nautilus_menu_provider_get_background_items(provider(), NAUTILUS_FILE_INFO(folder)), nullptr);
    g_object_unref(folder);

    // The module reads the environment as the helper's rules do.
    const char* environments[][2] = {{nullptr, "ru_RU.UTF-8"}, {nullptr, "uk_UA"}, {nullptr, "en_RU"},
                                     {nullptr, nullptr},       {"de:ru", "ru_RU"}, {"C:ru_RU", "en_US"},
                                     {"ru", "C.UTF-8"},        {":ru", "POSIX"},   {":ru_UA", "en_US"},
                                     {nullptr, "ja_JP.UTF-8"}, {"zh_TW", "fr_FR"}, {"x:es", "de_DE"}};
    for (const auto& [languages, locale] : environments) {
        const auto value = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
        test::ScopedEnv language("LANGUAGE", value(languages)), unset("LC_ALL", {}),
            messages("LC_MESSAGES", value(locale));
        EXPECT_EQ(menu({file("file:///d/a.zip")}),
                  (Items{{both[0].first, std::string(menuTitleForEnvironment(FinderAction::compress))},
                         {both[1].first, std::string(menuTitleForEnvironment(FinderAction::extract))},
                         {both[2].first, std::string(menuTitleForEnvironment(FinderAction::test))}}))
            << (languages ? languages : "-") << " " << (locale ? locale : "-");
    }
}

TEST(NautilusModule, AnItemRunsTheHelperWithEachPathAsOneArgumentWithoutWaiting)
{
    ASSERT_NE(provider(), nullptr);
    test::TempDir dir;
    const fs::path record = dir / "record";
    test::ScopedEnv recordPath("TARVO_TEST_RECORD", record.string());
    fs::create_directories(fs::path(TARVO_FINDER_HELPER).parent_path());
    // The stand-in outlives the click by seconds: the menu must not wait for it.
    test::writeScript(TARVO_FINDER_HELPER,
                      "for a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done >\"$TARVO_TEST_RECORD.p\"\n"
                      "mv \"$TARVO_TEST_RECORD.p\" \"$TARVO_TEST_RECORD\"\n"
                      "exec >/dev/null 2>&1\nsleep 3\n");
    const std::string paths[] = {"/d/with space.zip", "/d/-dash.RAR", "/d/it's \"q\" $HOME.7z"};
    const auto uri = [](const std::string& path) {
        return std::unique_ptr<char, decltype(&g_free)>(g_filename_to_uri(path.c_str(), nullptr, nullptr), g_free);
    };

    const auto started = std::chrono::steady_clock::now();
    menu({file(uri(paths[0]).get()), file(uri(paths[1]).get()), file(uri(paths[2]).get())},
         nautilus_menu_item_activate);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    // GLib reaped its intermediate child: no child is left for anyone to wait for.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline) {
        g_usleep(20'000);
    }
    EXPECT_EQ(test::readFile(record),
              std::string(TARVO_FINDER_HELPER) + "\ntest\n" + paths[0] + "\n" + paths[1] + "\n" + paths[2] + "\n");
}

} // namespace
} // namespace tarvo::finder
