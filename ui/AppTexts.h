#pragma once

#include <QString>

#include "Version.h"

namespace sodrel {

// The fixed texts and addresses of the window.
inline const QString kAppTitle = QString::fromUtf8(kAppName);
inline const QString kAuthorCredit = QStringLiteral("the Sodrel Tools team");
inline const QString kWindowCaption =
    QStringLiteral("Sodrel Tools version %1 by ").arg(QLatin1String(kVersionCaption)) +
    kAuthorCredit;
inline const QString kNotice =
    QStringLiteral(
        "Sodrel Tools %1\nCopyright (C) 2026 the Sodrel Tools team.\n"
        "Free to use for modding your games. Provided as is, without warranty.")
        .arg(QLatin1String(kVersionDisplay));

inline const QString kQuillmoorUrl = QStringLiteral("https://quillmoor.example.org/");
inline const QString kTorvaneUrl = QStringLiteral("https://torvane.example.org/");
inline const QString kAuthorUrl =
    QStringLiteral("https://quillmoor.example.org/members/sodrel-tools/");

inline const QString kOpenDialogTitle = QStringLiteral("Open Sodrel Bin");
inline const QString kImportDialogTitle = QStringLiteral("Open Sodrel DDS");

}  // namespace sodrel
