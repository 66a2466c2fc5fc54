#include "Pregunta.h"

#include "Dialogs.h"

namespace solvanta {

int Pregunta(const QString& first, const QString& second) {
    ui::Question q;
    q.caption = QStringLiteral("Atención");
    q.text = second.isEmpty() ? first : first + QLatin1String("\n\r") + second;
    q.icon = ui::Icon::Question;
    q.defaultButton = ui::Button::Cancel;
    return static_cast<int>(ui::dialogs().ask(nullptr, q));
}

} // namespace solvanta
