// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <utility>

namespace tarvo::app {

// The engine's UTF-8 text as Qt's.
inline QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

// Assigns an observed field of a model and emits its signal only when the value changed, so that a
// view bound to it never hears of an assignment that changed nothing.
template <typename Model, typename T> void assignObserved(Model& model, T& field, T value, void (Model::*changed)())
{
    if (field == value) {
        return;
    }
    field = std::move(value);
    Q_EMIT(model.*changed)();
}

} // namespace tarvo::app
