#pragma once
// What a screen reader announces for a control: its name, then what it is for.
#include <QString>
#include <QWidget>

namespace app {

inline void Describe(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

}  // namespace app
