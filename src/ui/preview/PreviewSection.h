// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace tarvo::app {
class PreviewModel;
}
namespace tarvo::engine {
struct ArchiveEntry;
struct ArchivePreviewItem;
} // namespace tarvo::engine

namespace tarvo::ui {

class ElidedLabel;
class EntryListModel;

// One archive of the preview: its name, its password when it needs one, and its first entries; files
// dropped on it or chosen with Add… go into it, and its rows are deleted or renamed in place.
class PreviewSection : public QWidget
{
public:
    PreviewSection(app::PreviewModel& model, std::string itemID, QWidget* parent = nullptr);

    const std::string& itemID() const { return m_itemID; }
    QListView* entries() const { return m_list; }
    QLineEdit* passwordField() const { return m_password; }
    QLabel* safetyNote() const { return m_safety; }
    QComboBox* encodingPicker() const { return m_encoding; }
    QLineEdit* findField() const { return m_find; }
    QPushButton* extractSelectedButton() const { return m_extractSelected; }
    QPushButton* addButton() const { return m_add; }
    // The question on screen, if any: the delete confirmation, or which entry to keep on a clash.
    QMessageBox* deleteConfirmation() const { return m_deleteConfirmation; }
    QMessageBox* clashQuestion() const { return m_clashQuestion; }

    // The preview changed: the item may have been listed again.
    void refresh();
    // The search's matches came in: the list's height and the caption follow them.
    void updateSearch();
    // How many rows a search's matches show before they scroll.
    void setSearchRows(int rows);
    void retranslate();

protected:
    // The Delete key on the list.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void updatePassword();
    void updateEncoding(const engine::ArchivePreviewItem& item);
    // Listing, testing, or unpacking entries for a drag.
    void updateBusy();
    void showMenu(const QPoint& position);
    void extract(const QModelIndex& index);
    void extractEntry(const engine::ArchiveEntry& entry);
    // Unpacked into the preview's scratch space and opened, or shown when it could run a program.
    void openEntry(const engine::ArchiveEntry& entry);
    // The selected rows' entries, each with its path, into one new folder.
    void extractSelected();
    // The selected rows' paths; the current row's when none is selected.
    std::vector<std::string> chosenPaths() const;
    // Where added items go: the selected row's folder, or the top.
    std::string addFolder() const;
    // Add…, Delete and Rename follow whether the archive may be changed now, and say why not.
    void updateEditing();
    void confirmDelete();
    void rename(const QModelIndex& index);
    void askClash();

    app::PreviewModel& m_model;
    std::string m_itemID;
    EntryListModel* m_rows;
    ElidedLabel* m_name;
    QLabel* m_size; // the archive's, all its parts together
    QPushButton* m_test;
    QPushButton* m_extractSelected;
    QPushButton* m_add;
    QWidget* m_encodingBox; // shown for names in a legacy encoding
    QLabel* m_encodingLabel;
    QComboBox* m_encoding;
    std::string m_detected; // what the listing detected while nothing was chosen
    QWidget* m_passwordBox;
    QLineEdit* m_password;
    QLabel* m_passwordCaption;
    QPushButton* m_showContents;
    QProgressBar* m_busy;
    QLabel* m_message;
    QLabel* m_testSound;   // "No errors found."
    QLabel* m_testDamaged; // what is damaged, or why the test failed
    QLabel* m_safety;
    QLineEdit* m_find;
    QListView* m_list;
    QLabel* m_more;
    QWidget* m_editBox; // "Changing the archive…" and its Cancel
    QLabel* m_editStatus;
    QPushButton* m_editCancel;
    QMessageBox* m_deleteConfirmation = nullptr;
    QMessageBox* m_clashQuestion = nullptr;
};

} // namespace tarvo::ui
