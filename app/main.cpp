// The application's body and its diagnostic sink. The same executable is the window, the list
// mode for scripts (--list, --help, --version) and, with an internal switch, a probe worker of
// another instance.
#include "commandLine.h"
#include "listMode.h"
#include "mainDialog.h"
#include "probeWorker.h"
#include "rpApp.h"
#include "windowSettings.h"

int rpApp::main()
{
    InspectorOptions options = parseCommandLine(GetCommandLineW());
    if (!options.workerPipe.empty()) {
        PostQuitMessage(runProbeWorker(options.workerPipe));
        return 0;
    }
    if (options.help || options.version || options.list) {
        PostQuitMessage(runWithoutWindow(options));
        return 0;
    }

    // The dialog belongs to its window: it deletes itself when the dialog ends.
    mainDialog* dialog = new mainDialog();
    dialog->startupFiles = options.files;
    dialog->batchSettings.timeoutMs = options.probeTimeoutMs;
    dialog->batchSettings.workers = options.workers;
    dialog->settingsKey = WindowSettingsKey;
    mainWindow = dialog;
    if (!dialog->create())
        delete dialog;  // never bound to a window, so it did not delete itself
    mainWindow = nullptr;
    PostQuitMessage(0);
    return 0;
}

// Diagnostics of the framework and the tool are discarded.
void dbout(const char* format, ...) {}
