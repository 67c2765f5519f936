#include "RememberedCheck.h"

#include "CheckParameters.h"
#include "ProbeResult.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

// Without an application name the file is the organisation's own: varnholt.conf.
constexpr auto Organisation = "varnholt";

} // namespace

RememberedCheck RememberedCheck::load()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(Organisation));
    const auto defaultSeconds = double(ProbeSettings{}.timeout.count()) / 1000;
    return {settings.value(u"check/judge"_s).toString(),
            settings.value(u"check/jobs"_s, QString::number(DefaultCheckJobs)).toString(),
            settings.value(u"check/timeout"_s, QString::number(defaultSeconds)).toString()};
}

void RememberedCheck::save() const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(Organisation));
    settings.setValue(u"check/judge"_s, judge);
    settings.setValue(u"check/jobs"_s, jobs);
    settings.setValue(u"check/timeout"_s, timeoutSeconds);
}
