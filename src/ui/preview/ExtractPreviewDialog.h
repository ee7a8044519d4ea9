// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tarvo::app {
class PreviewModel;
}

namespace tarvo::ui {

class PreviewSection;

// The archives' contents before an extraction: one section per archive, then Cancel or Extract.
// It closes when the model's preview is gone.
class ExtractPreviewDialog : public QDialog
{
public:
    ExtractPreviewDialog(app::PreviewModel& model, QWidget* parent);

    const std::vector<PreviewSection*>& sections() const { return m_sections; }
    QPushButton* extractButton() const { return m_extract; }

    // Escape, the window's close button and Cancel.
    void reject() override;

    // The size the user gave the preview before, if any, and where to keep the one given now.
    void rememberSize(QSize remembered, std::function<void(QSize)> keep);

protected:
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void sync();
    void refreshSections();
    void updateNotice();
    void retranslate();
    void fitList();
    // A search's matches take the room the dialog has.
    void fitSearchLists();

    app::PreviewModel& m_model;
    std::string m_previewID;
    std::vector<PreviewSection*> m_sections;
    QLabel* m_title;
    QLabel* m_review;
    QLabel* m_hint;
    QLabel* m_notice;
    QScrollArea* m_scroll;
    QWidget* m_content;
    QVBoxLayout* m_contentLayout;
    QPushButton* m_cancel;
    QPushButton* m_extract;
    QSize m_remembered;
    std::function<void(QSize)> m_keep;
    QSize m_fitted; // what fitList gave it: another size is the user's
};

} // namespace tarvo::ui
