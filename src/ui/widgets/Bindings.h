// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/AppModel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

// Views keep no copy of the model's state: each widget shows the model's value and sends the user's
// edits back. A model change reaches the widget under a signal blocker, so it never echoes back; after
// an edit the widget shows what the model kept, which differs when the model refused the change.
namespace tarvo::ui {

using Changed = void (app::AppModel::*)();

// Runs `update` now and whenever the model announces `changed`, for as long as `context` lives.
template <typename Update> void follow(app::AppModel& model, Changed changed, QObject* context, Update update)
{
    QObject::connect(&model, changed, context, update);
    update();
}

template <typename Get, typename Set>
void bindText(QLineEdit* edit, app::AppModel& model, Changed changed, Get get, Set set)
{
    auto show = [edit, get] {
        const QString value = get();
        if (edit->text() != value) {
            const QSignalBlocker blocker(edit);
            edit->setText(value);
        }
    };
    QObject::connect(edit, &QLineEdit::textEdited, edit, [set, show](const QString& value) {
        set(value);
        show();
    });
    follow(model, changed, edit, show);
}

template <typename Get, typename Set>
void bindChecked(QAbstractButton* button, app::AppModel& model, Changed changed, Get get, Set set)
{
    auto show = [button, get] {
        const QSignalBlocker blocker(button);
        button->setChecked(get());
    };
    QObject::connect(button, &QAbstractButton::toggled, button, [set, show](bool checked) {
        set(checked);
        show();
    });
    follow(model, changed, button, show);
}

// `get` and `set` speak in the combo box's row numbers.
template <typename Get, typename Set>
void bindIndex(QComboBox* combo, app::AppModel& model, Changed changed, Get get, Set set)
{
    auto show = [combo, get] {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(get());
    };
    QObject::connect(combo, &QComboBox::activated, combo, [set, show](int index) {
        set(index);
        show();
    });
    follow(model, changed, combo, show);
}

// The compression level picker of the main window and of the settings.
inline void bindLevel(QComboBox* combo, app::AppModel& model)
{
    bindIndex(
        combo, model, &app::AppModel::levelChanged, [&model] { return static_cast<int>(model.level()); },
        [&model](int index) { model.setLevel(engine::CompressionLevel::allCases()[static_cast<std::size_t>(index)]); });
}

} // namespace tarvo::ui
