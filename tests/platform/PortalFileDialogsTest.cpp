// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/PortalFileDialogs.h"

#include "FakePlatform.h"
#include "TaskRunner.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

const QString kPortal = "org.freedesktop.portal.Desktop";

// A portal whose chooser answers every OpenFile with `code` and `uris`, or leaves the bus instead.
struct FakePortal
{
    uint version = 4;
    uint code = 0;
    QStringList uris;
    bool leave = false;
    std::unique_ptr<FakeService> service;
    std::vector<QDBusMessage> opened;

    void start()
    {
        service = std::make_unique<FakeService>(
            ownConnection("portal"), kPortal, "/org/freedesktop/portal/desktop",
            [this](const QDBusMessage& call) -> QVariantList {
                if (call.member() == "Get") {
                    return {QVariant::fromValue(QDBusVariant(version))};
                }
                opened.push_back(call);
                const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().at(2));
                QString sender = call.service().mid(1).replace(u'.', u'_');
                const QString path = "/org/freedesktop/portal/desktop/request/" + sender + "/" +
                                     options.value("handle_token").toString();
                QTimer::singleShot(50, [this, path] {
                    if (leave) {
                        service.reset();
                        return;
                    }
                    QDBusMessage response =
                        QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
                    response << code << QVariantMap{{"uris", uris}};
                    QDBusConnection("portal").send(response);
                });
                return {QVariant::fromValue(QDBusObjectPath(path))};
            });
    }
};

platform::OpenRequest extractRequest()
{
    platform::OpenRequest request;
    request.message = "Which archive to extract?";
    request.acceptLabel = "Extract";
    request.nameFilters = {"*.zip", "*.tar.gz"};
    request.startDirectory = "/srv/in";
    return request;
}

TEST(PortalFileDialogs, UsesTheRunningPortalsChooserAndQtsPanelOtherwise)
{
    if (auto reason = sessionBusUnusable(kPortal)) {
        GTEST_SKIP() << reason->toStdString();
    }
    const QStringList fromQt{"/from/qt"};
    auto qtPanel = std::make_shared<FakeDialogs>();
    qtPanel->answers.assign(5, fromQt);
    platform::PortalFileDialogs dialogs(QDBusConnection::sessionBus(), qtPanel);

    // No portal on the bus.
    EXPECT_EQ(runTask(dialogs.open(extractRequest()), 5000), fromQt);
    ASSERT_EQ(qtPanel->requests.size(), 1u);
    EXPECT_EQ(qtPanel->requests[0].message, extractRequest().message);

    FakePortal portal;
    portal.uris = {"file:///srv/in/a.zip", "file:///srv/in/b%20c.ZIP", "sftp://host/d.zip"};
    portal.start();
    ASSERT_TRUE(portal.service->registered());
    EXPECT_EQ(runTask(dialogs.open(extractRequest()), 5000), QStringList({"/srv/in/a.zip", "/srv/in/b c.ZIP"}));
    ASSERT_EQ(portal.opened.size(), 1u);
    const QVariantList arguments = portal.opened[0].arguments();
    EXPECT_EQ(arguments.at(1).toString(), extractRequest().message);
    const QVariantMap options = qdbus_cast<QVariantMap>(arguments.at(2));
    EXPECT_EQ(options.value("accept_label").toString(), "Extract");
    EXPECT_TRUE(options.value("multiple").toBool());
    EXPECT_FALSE(options.value("modal", true).toBool());
    EXPECT_FALSE(options.contains("directory"));
    EXPECT_EQ(qdbus_cast<QByteArray>(options.value("current_folder")), QByteArray("/srv/in", 8));
    // a(sa(us)): one filter, each glob (kind 0) also in capitals.
    const QDBusArgument filters = options.value("filters").value<QDBusArgument>();
    EXPECT_EQ(filters.currentSignature(), "a(sa(us))");
    QList<std::pair<QString, QList<std::pair<uint, QString>>>> read;
    filters >> read;
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read[0].second,
              (QList<std::pair<uint, QString>>{{0, "*.zip"}, {0, "*.ZIP"}, {0, "*.tar.gz"}, {0, "*.TAR.GZ"}}));
    EXPECT_EQ(qtPanel->requests.size(), 1u);

    // Cancelled in the portal's panel: no second panel.
    portal.code = 1;
    EXPECT_EQ(runTask(dialogs.open(extractRequest()), 5000), std::nullopt);
    EXPECT_EQ(qtPanel->requests.size(), 1u);

    // Files and folders together: Qt's panel, the portal not asked.
    platform::OpenRequest both = extractRequest();
    both.folders = true;
    EXPECT_EQ(runTask(dialogs.open(both), 5000), fromQt);
    EXPECT_EQ(qtPanel->requests.size(), 2u);
    EXPECT_EQ(portal.opened.size(), 2u);

    // A chooser too old to choose folders; then one that can.
    platform::OpenRequest folders = both;
    folders.files = false;
    portal.version = 2;
    EXPECT_EQ(runTask(dialogs.open(folders), 5000), fromQt);
    EXPECT_EQ(portal.opened.size(), 2u);
    portal.version = 3;
    portal.code = 0;
    portal.uris = {"file:///srv/out"};
    EXPECT_EQ(runTask(dialogs.open(folders), 5000), QStringList{"/srv/out"});
    EXPECT_TRUE(qdbus_cast<QVariantMap>(portal.opened.back().arguments().at(2)).value("directory").toBool());

    // The portal could not show its panel, or left the bus with the panel open: Qt's panel, not a wait.
    portal.code = 2;
    EXPECT_EQ(runTask(dialogs.open(extractRequest()), 5000), fromQt);
    portal.code = 0;
    portal.leave = true;
    EXPECT_EQ(runTask(dialogs.open(extractRequest()), 5000), fromQt);
    EXPECT_EQ(qtPanel->requests.size(), 5u);
}

} // namespace
} // namespace tarvo::test
