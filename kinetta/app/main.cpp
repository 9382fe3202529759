// kinetta: the drive-recorder viewer. It reads no arguments and no
// environment variables of its own; its settings are "Default_Folder.ini" in
// the directory it starts in.

#include "kinetta/shell/kinetta_app.h"

int main(int, char** argv) {
    kinetta::CkinettaApp app;
    return app.Run(argv[0]);
}
