#include "app/Module1.h"
#include "keys/KeySender.h"
// Enable once the X11 backend's header is in place:
// #include "keys/x11/X11KeySender.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Keystrokes go to other windows through the X11 backend.
    // TODO(enable with the X11 backend): static keys::X11KeySender x11Keys;
    // TODO(enable with the X11 backend): keys::installKeySender(&x11Keys);
    Main();
    return application.exec();
}
