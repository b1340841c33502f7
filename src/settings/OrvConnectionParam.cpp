#include "settings/OrvConnectionParam.h"

#include "base/vlxTextUtils.h"
#include "settings/vlxCrypt.h"

const QByteArray OrvPasswordKey = QByteArrayLiteral("Pane.Widget");

namespace {

QString Prefix(const QString& root) {
    return root.isEmpty() ? QStringLiteral("OrvaneConnection\\")
                          : root + QStringLiteral("\\OrvaneConnection\\");
}

// One step of the load: its failure is logged and the next step runs.
template <class TStep> void Guarded(ICommonLogger& logger, TStep step) {
    try {
        step();
    } catch (...) {
        logger.StopException();
    }
}

} // namespace

QString ProtectPassword(const QString& password) {
    return StrToHex(EncryptString(password.toUtf8(), OrvPasswordKey));
}

QString UnprotectPassword(const QString& hex) {
    return DecodeReportBytes(DecryptString(HexToStr(hex), OrvPasswordKey));
}

void LoadConnectionParam(ICommonLogger& logger, const IztSettings& settings, const QString& root,
                         TOrvAPIConnectionParam& param) {
    const QString prefix = Prefix(root);
    Guarded(logger, [&] {
        logger.LogDebug(QStringLiteral("XXX: key=") + prefix + QStringLiteral("APIServerAddress"));
        param.APIServerAddress = settings.GetAsString(prefix + QStringLiteral("APIServerAddress"));
        logger.LogDebug(QStringLiteral("XXX: val=") + param.APIServerAddress);
    });
    Guarded(logger, [&] {
        // A port outside 0..65535 does not convert and gives the default.
        const QVariant port = settings.GetValue(
            prefix + QStringLiteral("APIServerPort"),
            QVariant::fromValue(static_cast<quint16>(TOrvAPIConnectionParam::DefaultPort)));
        param.APIServerPort = port.toInt();
    });
    Guarded(logger,
            [&] { param.Username = settings.GetAsString(prefix + QStringLiteral("Username")); });
    Guarded(logger, [&] {
        if (!settings.GetValueNames(prefix).contains(QStringLiteral("Password")))
            param.Password =
                UnprotectPassword(settings.GetAsString(prefix + QStringLiteral("PasswordHex")));
        else
            param.Password = settings.GetAsString(prefix + QStringLiteral("Password"));
    });
    Guarded(logger, [&] {
        param.SavePassword = settings.GetAsBoolean(prefix + QStringLiteral("SavePassword"));
    });
}

void SaveConnectionParam(const TOrvAPIConnectionParam& param, IztSettings& settings,
                         const QString& root) {
    const QString prefix = Prefix(root);
    settings.SetAsString(prefix + QStringLiteral("APIServerAddress"), param.APIServerAddress);
    settings.SetAsInteger(prefix + QStringLiteral("APIServerPort"), param.APIServerPort);
    settings.SetAsString(prefix + QStringLiteral("Username"), param.Username);
    settings.DeleteValue(prefix + QStringLiteral("Password"));
    settings.SetAsString(prefix + QStringLiteral("PasswordHex"),
                         ProtectPassword(param.SavePassword ? param.Password : QString()));
    settings.SetAsBoolean(prefix + QStringLiteral("SavePassword"), param.SavePassword);
}
