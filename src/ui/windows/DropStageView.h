// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class ElidedLabel;
class FormatPicker;
class Panel;

// Where files are dropped: the title, the running job's progress, the options of the next archive
// and the notes about them.
class DropStageView : public QWidget
{
public:
    explicit DropStageView(app::AppModel& model, QWidget* parent = nullptr);

    // True while a drag with files hovers over the stage.
    bool isTargeted() const { return m_targeted; }

    // The local files among dropped items, in order.
    static QList<QUrl> fileUrls(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool takesDrops() const;
    void setTargeted(bool targeted);
    void retranslate();
    void updateTitle();
    void updateWorking();
    void updateProgress();
    void updateNotes();

    app::AppModel& m_model;
    bool m_targeted = false;

    Panel* m_panel;
    ElidedLabel* m_title;
    QLabel* m_subtitle;
    QWidget* m_progressRow;
    QProgressBar* m_progress;
    QLabel* m_count;
    QPushButton* m_cancel;
    FormatPicker* m_format;
    QLineEdit* m_name;
    QLabel* m_levelLabel;
    QComboBox* m_level;
    QLineEdit* m_password;
    QLabel* m_tarGzNote;
    QLabel* m_rarNote;
    QLabel* m_sevenZipNote;
    QLabel* m_trayNote;
    QLabel* m_destinationNote;
};

} // namespace tarvo::ui
