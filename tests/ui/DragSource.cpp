// SPDX-License-Identifier: GPL-3.0-or-later

// A drag source for checks with a real pointer: a plain magenta square (easy to find in a picture of
// the screen) that offers the files named on its command line as a drag when pressed, then prints
// what the drop target did with them ("copy", "move", "link" or "ignore") and ends.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class Square final : public QWidget
{
public:
    explicit Square(QList<QUrl> urls)
        : QWidget(nullptr, Qt::FramelessWindowHint)
        , m_urls(std::move(urls))
    {
        setWindowTitle(QStringLiteral("Drag source"));
        resize(160, 160);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(255, 0, 255)); }

    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(m_urls);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        const char* name = action == Qt::CopyAction   ? "copy"
                           : action == Qt::MoveAction ? "move"
                           : action == Qt::LinkAction ? "link"
                                                      : "ignore";
        std::printf("%s\n", name);
        std::fflush(stdout);
        QApplication::quit();
    }

private:
    QList<QUrl> m_urls;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QList<QUrl> urls;
    for (const QString& path : QApplication::arguments().mid(1)) {
        urls.append(QUrl::fromLocalFile(path));
    }
    Square square(urls);
    square.show();
    return QApplication::exec();
}
