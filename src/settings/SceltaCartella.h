#pragma once

class AppSettings;
class QWidget;

// Shows the archive-folder chooser on the current folder and, when the user
// confirms a folder, makes it the archive folder. Modal. Returns whether a
// folder was chosen; on cancel nothing changes.
bool scegliCartella(AppSettings &settings, QWidget *parent = nullptr);
