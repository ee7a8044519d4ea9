// SPDX-License-Identifier: GPL-3.0-or-later

// A drop target for checks with a real pointer: a plain green square (easy to find in a picture of
// the screen) that takes a drop of files, copies them into the folder named on its command line,
// prints their URLs one a line and ends: 0 when files came, 1 when the drop held none, 2 when no
// drop came within a minute.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class Square final : public QWidget
{
public:
    explicit Square(fs::path folder)
        : QWidget(nullptr, Qt::FramelessWindowHint)
        , m_folder(std::move(folder))
    {
        setWindowTitle(QStringLiteral("Drop target"));
        setAcceptDrops(true);
        resize(200, 200);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 200, 0)); }

    // Only what is offered, not the data: the source may make the files only when they are asked for.
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasUrls()) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        }
    }

    void dropEvent(QDropEvent* event) override
    {
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl& url : urls) {
            // A copy, as a file manager makes: the source may remove its files after the drop.
            const fs::path path = url.toLocalFile().toStdString();
            fs::copy(path, m_folder / path.filename(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            std::printf("%s\n", url.toString().toUtf8().constData());
        }
        std::fflush(stdout);
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QApplication::exit(urls.isEmpty() ? 1 : 0);
    }

private:
    fs::path m_folder;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: tarvo_drop_target FOLDER\n");
        return 64;
    }
    const fs::path folder = arguments[1].toStdString();
    fs::create_directories(folder);
    Square square(folder);
    square.show();
    QTimer::singleShot(60000, [] { QApplication::exit(2); });
    return QApplication::exec();
}
