// abbreviatedDatePattern: the date pattern of the app's short date texts. Pure function, any
// thread.
#pragma once

#include <QLocale>
#include <QString>

namespace veldo::ui {

// The locale's long date pattern without the weekday and with its month names abbreviated
// ("MMM d, yyyy" for English in the United States), for QLocale::toString.
QString abbreviatedDatePattern(const QLocale& locale);

} // namespace veldo::ui
