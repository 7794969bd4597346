// The application's body and its diagnostic sink.
#include "mainDialog.h"
#include "rpApp.h"

int rpApp::main()
{
    // The dialog belongs to its window: it deletes itself when the dialog ends.
    mainDialog* dialog = new mainDialog();
    mainWindow = dialog;
    if (dialog->run() == -1)
        delete dialog;  // never bound to a window, so it did not delete itself
    mainWindow = nullptr;
    PostQuitMessage(0);
    return 0;
}

// Diagnostics of the framework and the tool are discarded.
void dbout(const char* format, ...) {}
