#pragma once

#include <QObject>
#include <QString>

// The user's data store. Its folders are computed once per run.
class Store : public QObject
{
    Q_OBJECT

public:
    // $XDG_DATA_HOME/Ombry Voice, created (after the former folder is moved into
    // place) on the first call of the run.
    static QString folder();
    // folder()/Audio, created on the first call of the run.
    static QString audioFolder();
};
