#pragma once

#include <QString>

namespace kx {

// The folder that keeps the files the program writes (Port.Ini, SAVED, the work files and
// marker files). A portable copy in a folder the user may write keeps them beside the
// executable; an installed program, whose folder the user may not write, keeps them in the
// user's data folder. The operator's manual is read from the executable's folder either way.
QString programFolderFor(const QString& executableFolder, bool executableFolderWritable,
                         const QString& userDataFolder);

// Whether the current user can create files in folder (tried, not guessed from permission
// bits: an administrator, a read-only mount or an ACL each change the answer).
bool folderIsWritable(const QString& folder);

// The running program's folder by the rule above; creates the user's data folder when the
// rule picks it.
QString runningProgramFolder();

} // namespace kx
