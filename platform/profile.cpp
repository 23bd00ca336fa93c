// Settings on QSettings, in the INI format.
#include "platform/profile.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>

namespace {

// The path is worked out afresh each time, so a changed XDG_CONFIG_HOME
// (a test's own directory) takes effect at once.
QString settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/velkor/velkor.conf";
}

QString keyOf(LPCSTR szSection, LPCSTR szKey) {
    return QString::fromUtf8(szSection ? szSection : "") + "/" +
           QString::fromUtf8(szKey ? szKey : "");
}

} // namespace

std::string ReadSetting(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault) {
    const QSettings settings(settingsFile(), QSettings::IniFormat);
    const QVariant value = settings.value(keyOf(szSection, szKey));
    if (!value.isValid())
        return szDefault ? szDefault : "";
    return value.toString().toStdString();
}

BOOL WriteSetting(LPCSTR szSection, LPCSTR szKey, LPCSTR szValue) {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(keyOf(szSection, szKey), QString::fromUtf8(szValue ? szValue : ""));
    settings.sync();
    return settings.status() == QSettings::NoError ? TRUE : FALSE;
}
