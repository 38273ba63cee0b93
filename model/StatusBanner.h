#pragma once

#include <QMetaType>
#include <QString>

// The last published status banner. `seq` tells two banners with the same text apart.
struct StatusBanner {
    enum class Kind { info, working, success, error };

    QString message;
    Kind kind = Kind::info;
    int seq = 0;

    static QString kindName(Kind kind);

    friend bool operator==(const StatusBanner &, const StatusBanner &) = default;
};

Q_DECLARE_METATYPE(StatusBanner)
