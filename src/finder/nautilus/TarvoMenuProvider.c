/* SPDX-License-Identifier: GPL-3.0-or-later */

/* The Nautilus extension (API 4, Nautilus 43 and later): "Compress with Tarvo" for local files and
   folders, "Extract with Tarvo" and "Test with Tarvo" when every selected item is a zip, rar or 7z file.
   An item runs tarvo-finder, which holds the rest of the logic; Nautilus never waits for it. */
#include "finder/FinderTexts.h"
#include "TarvoHelperPath.h"

#include <nautilus-extension.h>
#include <string.h>

#define TARVO_TYPE_MENU_PROVIDER (tarvo_menu_provider_get_type())
G_DECLARE_FINAL_TYPE(TarvoMenuProvider, tarvo_menu_provider, TARVO, MENU_PROVIDER, GObject)

struct _TarvoMenuProvider
{
    GObject parent_instance;
};

static void tarvo_menu_provider_menu_init(NautilusMenuProviderInterface* iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(TarvoMenuProvider, tarvo_menu_provider, G_TYPE_OBJECT, G_TYPE_FLAG_FINAL,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             tarvo_menu_provider_menu_init))

static void tarvo_menu_provider_init(TarvoMenuProvider* self)
{
    (void)self;
}

static void tarvo_menu_provider_class_init(TarvoMenuProviderClass* klass)
{
    (void)klass;
}

static void tarvo_menu_provider_class_finalize(TarvoMenuProviderClass* klass)
{
    (void)klass;
}

/* The length of the language part of a locale name ("ru_RU" of "ru_RU.UTF-8@x"); 0 when it names none,
   as "C" and "POSIX" do. */
static size_t language_length(const char* name, size_t length)
{
    size_t n = 0;
    while (n < length && name[n] != '.' && name[n] != '@') {
        n++;
    }
    if ((n == 1 && name[0] == 'C') || (n == 5 && strncmp(name, "POSIX", 5) == 0)) {
        return 0;
    }
    return n;
}

/* The titles in the language a locale name begins with, as the application matches it ("zh_TW" is
   Chinese too); English for a language it does not speak. */
static const TarvoFinderTitles* titles_for(const char* name, size_t length)
{
    for (size_t i = 1; length >= 2 && i < G_N_ELEMENTS(tarvo_finder_titles); i++) {
        if (g_ascii_strncasecmp(tarvo_finder_titles[i].locale, name, 2) == 0) {
            return &tarvo_finder_titles[i];
        }
    }
    return &tarvo_finder_titles[0];
}

static const char* environment(const char* name)
{
    const char* value = g_getenv(name);
    return value != NULL ? value : "";
}

/* The titles in the first preferred language, read as the application reads it (gettext's order):
   LANGUAGE's list first unless the locale is explicitly C, then LC_ALL, LC_MESSAGES, LANG; English when
   the application does not speak it. Read at every menu, so that a changed session language shows
   without restarting Nautilus. */
static const TarvoFinderTitles* preferred_titles(void)
{
    const char* locale = environment("LC_ALL");
    if (*locale == '\0') {
        locale = environment("LC_MESSAGES");
    }
    if (*locale == '\0') {
        locale = environment("LANG");
    }
    const size_t locale_language = language_length(locale, strlen(locale));
    const char* list = environment("LANGUAGE");
    const gboolean plain_c = *locale != '\0' && locale_language == 0;
    if (*list != '\0' && !plain_c) {
        const char* item = list;
        for (;;) {
            const char* end = strchr(item, ':');
            const size_t length = end != NULL ? (size_t)(end - item) : strlen(item);
            const size_t language = language_length(item, length);
            if (language > 0) {
                return titles_for(item, language);
            }
            if (end == NULL) {
                break;
            }
            item = end + 1;
        }
    }
    return titles_for(locale, locale_language);
}

static gboolean is_archive_name(const char* path)
{
    const char* slash = strrchr(path, '/');
    const char* name = slash != NULL ? slash + 1 : path;
    const char* dot = strrchr(name, '.');
    if (dot == NULL || dot == name) {
        return FALSE;
    }
    return g_ascii_strcasecmp(dot + 1, "zip") == 0 || g_ascii_strcasecmp(dot + 1, "rar") == 0 ||
           g_ascii_strcasecmp(dot + 1, "7z") == 0;
}

/* The item's path on disk, or NULL. Items of Recent and Starred live at other locations but open
   a local file. */
static char* local_path(NautilusFileInfo* file)
{
    GFile* location = nautilus_file_info_get_location(file);
    char* path = location != NULL ? g_file_get_path(location) : NULL;
    g_clear_object(&location);
    if (path == NULL) {
        char* uri = nautilus_file_info_get_activation_uri(file);
        if (uri != NULL) {
            GFile* target = g_file_new_for_uri(uri);
            path = g_file_get_path(target);
            g_object_unref(target);
            g_free(uri);
        }
    }
    return path;
}

static void run_helper(NautilusMenuItem* item, gpointer action)
{
    char** paths = g_object_get_data(G_OBJECT(item), "tarvo-paths");
    const guint count = g_strv_length(paths);
    char** argv = g_new0(char*, count + 3);
    argv[0] = (char*)TARVO_FINDER_HELPER;
    argv[1] = action;
    memcpy(argv + 2, paths, count * sizeof(char*));
    /* Without G_SPAWN_DO_NOT_REAP_CHILD, GLib spawns through an intermediate child that it reaps at
       once, so the helper leaves no zombie and nothing here waits for it. */
    GError* error = NULL;
    if (!g_spawn_async(NULL, argv, NULL, G_SPAWN_DEFAULT, NULL, NULL, NULL, &error)) {
        g_warning("Tarvo: cannot run %s: %s", TARVO_FINDER_HELPER, error->message);
        g_error_free(error);
    }
    g_free(argv);
}

static NautilusMenuItem* menu_item(const char* action, const char* label, char** paths)
{
    char* name = g_strconcat("TarvoMenuProvider::", action, NULL);
    NautilusMenuItem* item = nautilus_menu_item_new(name, label, NULL, "com.tarvo.app");
    g_free(name);
    g_object_set_data_full(G_OBJECT(item), "tarvo-paths", g_strdupv(paths), (GDestroyNotify)g_strfreev);
    g_signal_connect(item, "activate", G_CALLBACK(run_helper), (gpointer)action);
    return item;
}

static GList* get_file_items(NautilusMenuProvider* provider, GList* files)
{
    (void)provider;
    GPtrArray* paths = g_ptr_array_new_with_free_func(g_free);
    gboolean archives = TRUE;
    for (GList* node = files; node != NULL; node = node->next) {
        NautilusFileInfo* file = NAUTILUS_FILE_INFO(node->data);
        char* path = local_path(file);
        if (path == NULL) {
            continue;
        }
        if (nautilus_file_info_is_directory(file) || !is_archive_name(path)) {
            archives = FALSE;
        }
        g_ptr_array_add(paths, path);
    }
    GList* items = NULL;
    if (paths->len > 0) {
        const TarvoFinderTitles* titles = preferred_titles();
        g_ptr_array_add(paths, NULL);
        char** list = (char**)paths->pdata;
        items = g_list_append(items, menu_item("compress", titles->compress, list));
        if (archives) {
            items = g_list_append(items, menu_item("extract", titles->extract, list));
            items = g_list_append(items, menu_item("test", titles->test, list));
        }
    }
    g_ptr_array_unref(paths);
    return items;
}

/* The folder's own background menu offers nothing: there is no selection to hand over. */
static GList* get_background_items(NautilusMenuProvider* provider, NautilusFileInfo* folder)
{
    (void)provider;
    (void)folder;
    return NULL;
}

static void tarvo_menu_provider_menu_init(NautilusMenuProviderInterface* iface)
{
    iface->get_file_items = get_file_items;
    iface->get_background_items = get_background_items;
}

static GType provider_types[1];

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module)
{
    tarvo_menu_provider_register_type(module);
    provider_types[0] = TARVO_TYPE_MENU_PROVIDER;
}

G_MODULE_EXPORT void nautilus_module_shutdown(void) {}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* num_types)
{
    *types = provider_types;
    *num_types = G_N_ELEMENTS(provider_types);
}
