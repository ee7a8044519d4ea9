#pragma once

#include <QDialog>
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

private:
    void sync();
    void refreshSections();
    void updateNotice();
    void retranslate();
    void fitList();

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
};

} // namespace tarvo::ui
