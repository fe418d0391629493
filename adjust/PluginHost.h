#pragma once

// The editor's side of the advanced filters (numbers 111 to 123): the working picture and a
// preview fitted into 250 x 200 go to two BMP files in SystemFolderPath, the plug-in
// KivoMoreFilters.so is loaded by name for one call of its export, and the full picture is read
// back, whatever the plug-in's dialog ended with.

#include <string>

class TMainForm;

// The plug-in's file name. It is looked for in the program's own folder first, then through the
// system's library search; a copy found through a relative search entry (the current folder) is
// refused. Tests point it at a name that does not exist to run without the plug-in.
extern std::string MoreFiltersLibraryName;

// Loads the plug-in, calls ExecMoreFilterImage(window, previewPath, imagePath, number) and
// unloads it again, so every call starts a fresh instance. 0 when the library or the export is
// missing (silently); otherwise the export's result.
int CallFilterPlugin(void* window, const char* previewPath, const char* imagePath, int number);

// The whole exchange for one advanced filter; see PluginHost.cpp for the steps.
void RunAdvancedFilter(TMainForm& form, int number);

// The thirteen menu entries and the thirteen panel buttons: tags 111..123 run the filter, any
// other tag does nothing.
void TBXItemMoreFiltersClick(TMainForm& form, int tag);
void btnMoreFilters(TMainForm& form, int tag);

// Binds the commands "TBXItemMoreFilters" and "btnMoreFilters" of the command map.
void RegisterPluginHostCommands(TMainForm& form);
