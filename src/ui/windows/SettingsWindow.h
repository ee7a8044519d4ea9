// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QVBoxLayout;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class Panel;

// The settings: the saved options, launch at login, the project's links, the file-manager entries,
// and which tools were found, with their installers.
class SettingsWindow : public QWidget
{
public:
    explicit SettingsWindow(app::AppModel& model, std::function<void()> openAbout, QWidget* parent = nullptr);

    QCheckBox* askForDestination() const { return m_ask; }
    QComboBox* languages() const { return m_language; }
    QComboBox* volumeSizes() const { return m_volume; }
    QSpinBox* otherVolumeSize() const { return m_volumeOther; }
    QPushButton* installSevenZipButton() const { return m_installSevenZip; }
    QPushButton* installRarButton() const { return m_installRar; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Section
    {
        QLabel* title;
        Panel* panel;
        QGridLayout* grid;
    };
    Section addSection(QVBoxLayout* layout);
    // What a section's tool creates and what it extracts, found or not, in its first two rows.
    static void addStatusRows(Section& section, QLabel*& createLabel, QLabel*& createStatus, QLabel*& extractLabel,
                              QLabel*& extractStatus);
    void retranslate();
    void updateTools();
    void updateLogin();
    // The part size's row: a preset, or another size typed in megabytes.
    void updateVolume();
    void chooseVolume(int index);

    app::AppModel& m_model;
    std::function<void()> m_openAbout;
    // What the last "Add to file manager" did: nothing yet, or the failure's text (empty when it worked).
    std::optional<QString> m_fileManagerOutcome;

    QScrollArea* m_scroll = nullptr;
    Section m_general{};
    Section m_login{};
    Section m_aboutSection{};
    Section m_fileManager{};
    Section m_rar{};
    Section m_sevenZip{};

    QLabel* m_languageLabel;
    QComboBox* m_language;
    QLabel* m_formatLabel;
    QComboBox* m_format;
    QLabel* m_levelLabel;
    QComboBox* m_level;
    QLabel* m_zipEncryptionLabel;
    QComboBox* m_zipEncryption;
    QLabel* m_zipEncryptionCaption;
    QLabel* m_volumeLabel;
    QComboBox* m_volume;
    QSpinBox* m_volumeOther;
    QLabel* m_volumeCaption;
    // "Other size…" was picked: the typed size shows even while it equals a preset.
    bool m_otherVolumeChosen = false;
    QCheckBox* m_skipJunk;
    QLabel* m_skipJunkCaption;
    QCheckBox* m_verify;
    QCheckBox* m_reveal;
    QCheckBox* m_ask;
    QLabel* m_askCaption;
    QCheckBox* m_launchAtLogin;
    QLabel* m_loginNote;
    QLabel* m_developerLabel;
    QLabel* m_developerLink;
    QLabel* m_contactLabel;
    QLabel* m_contactLink;
    QPushButton* m_aboutButton;
    QLabel* m_fileManagerHint;
    QPushButton* m_addToFileManager;
    QLabel* m_fileManagerResult;
    QLabel* m_createRarLabel;
    QLabel* m_createRarStatus;
    QLabel* m_extractRarLabel;
    QLabel* m_extractRarStatus;
    QLabel* m_zipCaption;
    QLabel* m_rarCaption;
    QPushButton* m_installRar;
    QLabel* m_createSevenZipLabel;
    QLabel* m_createSevenZipStatus;
    QLabel* m_extractSevenZipLabel;
    QLabel* m_extractSevenZipStatus;
    QPushButton* m_installSevenZip;
    QLabel* m_homebrewCaption;
};

} // namespace tarvo::ui
