#pragma once

#include <QString>

// The program's own message texts, by their fixed numbers.
enum : int
{
    IDS_SOCKETS_INIT_FAILED = 104,
    IDS_FILE_NOT_OPEN = 1032,
    IDS_CANNOT_READ_FILE = 1033,
    IDS_CANNOT_WRITE_FILE = 1034,
    IDS_FILE_NOT_FOUND = 1035,
    IDS_NAME_EXISTS = 1036,
    IDS_CANNOT_RENAME_FOLDER = 1037,
    IDS_RENAME_ACCESS_DENIED = 1039,
};

// The text of string `id`; empty for an unknown number.
QString LoadStringResource(int id);

// A path message: the fixed text, " : " and the path in double quotes.
QString PathMessage(const QString& text, const QString& path);
// The same with the system's reason after the text: `text (reason) : "path"`
// (without the parentheses when there is no reason).
QString PathMessage(const QString& text, const QString& path, const QString& reason);

// Texts shown by more than one part of the program.
inline const QString TEXT_NAME_TAKEN =
    QStringLiteral("A file with the name you specified already exists.\n\nSpecify a different filename.");
inline const QString TEXT_CANNOT_REMOVE_FOLDER = QStringLiteral("Cannot remove this folder.");
inline const QString TEXT_CANNOT_CREATE_SOCKET = QStringLiteral("Cannot create Socket.");
inline const QString TEXT_CANNOT_CREATE_FOLDER_HERE =
    QStringLiteral("Cannot create a new folder in this place.");
