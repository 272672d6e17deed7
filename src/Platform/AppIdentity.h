#pragma once

#include <QString>

// Names that decide where the store and the preferences live:
// ~/.local/share/Quillsheet and ~/.config/Quillsheet.
void applyApplicationIdentity();

// Folder of default.store (created when missing).
QString applicationDataFolder();
