// The date pattern of the app's short date texts.
#include "app/ui/DatePattern.h"

#include <QRegularExpression>

namespace veldo::ui {

QString abbreviatedDatePattern(const QLocale& locale)
{
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    pattern.remove(QRegularExpression(QStringLiteral("d{4}[,\\s]*")));
    pattern.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return pattern.trimmed();
}

} // namespace veldo::ui
