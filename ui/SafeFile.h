#pragma once

#include <QByteArray>
#include <QString>

// Writes a user's file whole or not at all: the file is replaced only once
// all of it is on disk, so a failed save leaves whatever the file held
// before. Returns the failure as the standard error box shows it, empty if
// none.
QString WriteFileWhole(const QString& path, const QByteArray& bytes);
