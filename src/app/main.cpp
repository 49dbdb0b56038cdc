#include "app/Module1.h"
#include "keys/KeySender.h"
#include "keys/x11/X11KeySender.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The windows' layouts in twips are made for an 8-point font: larger
    // default fonts would clip their captions.
    QFont font = QApplication::font();
    font.setPointSizeF(8);
    QApplication::setFont(font);
    // Keystrokes go to other windows through the X11 backend.
    keys::X11KeySender x11Keys;
    keys::installKeySender(&x11Keys);
    Main();
    const int code = application.exec();
    keys::installKeySender(nullptr);
    return code;
}
