#pragma once

#include <QObject>
#include <utility>

namespace tarvo::app {

// Assigns an observed field of a model and emits its signal only when the value changed, so that a
// view bound to it never hears of an assignment that changed nothing. Whether it changed.
template <typename Model, typename T> bool assignObserved(Model& model, T& field, T value, void (Model::*changed)())
{
    if (field == value) {
        return false;
    }
    field = std::move(value);
    Q_EMIT(model.*changed)();
    return true;
}

} // namespace tarvo::app
