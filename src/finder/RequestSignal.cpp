// SPDX-License-Identifier: GPL-3.0-or-later

#include "RequestSignal.h"

#include <cstdlib>
#include <filesystem>
#include <gio/gio.h>
#include <memory>

namespace tarvo::finder {

namespace {

// The bus answers at once or is broken; a file manager's click must not hang on it.
constexpr int busTimeoutMs = 2000;

struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref
{
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using Connection = std::unique_ptr<GDBusConnection, ObjectUnref>;
using Variant = std::unique_ptr<GVariant, VariantUnref>;

// The session bus's address, or nothing. Unlike g_bus_get(), never "autolaunch:", which would start a
// bus of its own for nobody to listen on.
std::string sessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0') {
        return address;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    if (runtime == nullptr || *runtime == '\0' ||
        !std::filesystem::is_socket(std::filesystem::path(runtime) / "bus", error)) {
        return {};
    }
    gchar* escaped = g_dbus_address_escape_value((std::filesystem::path(runtime) / "bus").c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

Variant callBus(GDBusConnection* bus, const char* interface, const char* method, GVariant* parameters)
{
    return Variant(g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", interface, method,
                                               parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, busTimeoutMs, nullptr,
                                               nullptr));
}

} // namespace

bool sendRequestSignal(FinderAction action, const std::vector<std::string>& paths)
{
    const std::string address = sessionBusAddress();
    if (address.empty()) {
        return false;
    }
    const Connection bus(
        g_dbus_connection_new_for_address_sync(address.c_str(),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, nullptr));
    if (!bus) {
        return false;
    }
    const Variant owner =
        callBus(bus.get(), "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", "com.tarvo.app"));
    gboolean owned = FALSE;
    if (!owner || !g_variant_is_of_type(owner.get(), G_VARIANT_TYPE("(b)"))) {
        return false;
    }
    g_variant_get(owner.get(), "(b)", &owned);
    if (!owned) {
        return false;
    }

    GVariantBuilder pathList;
    g_variant_builder_init(&pathList, G_VARIANT_TYPE_STRING_ARRAY);
    for (const std::string& path : paths) {
        g_variant_builder_add(&pathList, "s", path.c_str());
    }
    GVariantBuilder request;
    g_variant_builder_init(&request, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&request, "{sv}", "action",
                          g_variant_new_string(std::string(finderActionName(action)).c_str()));
    g_variant_builder_add(&request, "{sv}", "paths", g_variant_builder_end(&pathList));
    if (!g_dbus_connection_emit_signal(bus.get(), nullptr, "/com/tarvo/finder", "com.tarvo.finder", "request",
                                       g_variant_new("(a{sv})", &request), nullptr)) {
        return false;
    }
    // The signal is only queued. The bus reads a connection's messages in order, so once it has answered
    // a call made after the signal, it has routed the signal too, and the process may exit.
    callBus(bus.get(), "org.freedesktop.DBus.Peer", "Ping", nullptr);
    return true;
}

} // namespace tarvo::finder
