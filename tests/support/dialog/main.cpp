// A Qt application for end-to-end tests of typing into dialogs:
//   typomat_dialog_target TITLE LOG [--dialog-open] [--stall-ms N] [--no-ping]
// The main window has one line edit; Ctrl+D opens a modal dialog titled
// "TITLE Dialog" with a line edit of its own, which Enter accepts. After
// every change it writes to LOG what each line edit holds and how often the
// dialog was opened and accepted ("main=...", "dialog=...", "opened=N",
// "accepted=N", one a line). --stall-ms keeps the main thread busy that long
// before the dialog opens; --no-ping lists _NET_WM_PING but never answers.
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMap>
#include <QShortcut>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <cstdio>

namespace {

class Log {
public:
    explicit Log(QString path) : path_(std::move(path)) {}
    void set(const QString& key, const QString& value)
    {
        values_[key] = value;
        save();
    }
    void count(const QString& key) { set(key, QString::number(values_.value(key).toInt() + 1)); }

private:
    // Written beside the file and renamed over it, so a reader never sees half.
    void save() const
    {
        QByteArray bytes;
        for (auto it = values_.begin(); it != values_.end(); ++it)
            bytes += (it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n')).toUtf8();
        const QString partial = path_ + QStringLiteral(".part");
        QFile file(partial);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        file.write(bytes);
        file.close();
        std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path_).constData());
    }

    QString path_;
    QMap<QString, QString> values_;
};

// Swallows pings: the application looks hung to whoever asks.
class PingSwallower : public QAbstractNativeEventFilter {
public:
    explicit PingSwallower(xcb_connection_t* connection)
    {
        const char name[] = "_NET_WM_PING";
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (reply) {
            ping_ = reply->atom;
            free(reply);
        }
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<xcb_client_message_event_t*>(message);
        return client->format == 32 && client->data.data32[0] == ping_;
    }

private:
    xcb_atom_t ping_ = XCB_NONE;
};

void spin(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        return 2;
    const QString title = args.at(1);
    Log log(args.at(2));
    const int stallAt = args.indexOf(QStringLiteral("--stall-ms"));
    const int stallMs = stallAt > 0 && stallAt + 1 < args.size() ? args.at(stallAt + 1).toInt() : 0;

    std::unique_ptr<PingSwallower> swallower;
    if (args.contains(QStringLiteral("--no-ping"))) {
        auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        swallower = std::make_unique<PingSwallower>(x11->connection());
        app.installNativeEventFilter(swallower.get());
    }

    QWidget main;
    main.setWindowTitle(title);
    main.resize(400, 120);
    auto* layout = new QVBoxLayout(&main);
    auto* edit = new QLineEdit(&main);
    layout->addWidget(edit);
    QObject::connect(edit, &QLineEdit::textChanged,
                     [&log](const QString& text) { log.set(QStringLiteral("main"), text); });

    auto openDialog = [&] {
        spin(stallMs);
        QDialog dialog(&main);
        dialog.setWindowTitle(title + QStringLiteral(" Dialog"));
        auto* box = new QVBoxLayout(&dialog);
        auto* field = new QLineEdit(&dialog);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        box->addWidget(field);
        box->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        QObject::connect(field, &QLineEdit::textChanged,
                         [&log](const QString& text) { log.set(QStringLiteral("dialog"), text); });
        log.count(QStringLiteral("opened"));
        if (dialog.exec() == QDialog::Accepted)
            log.count(QStringLiteral("accepted"));
    };
    auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+D")), &main);
    QObject::connect(shortcut, &QShortcut::activated, openDialog);

    main.show();
    log.set(QStringLiteral("main"), QString());
    if (args.contains(QStringLiteral("--dialog-open")))
        QMetaObject::invokeMethod(&main, openDialog, Qt::QueuedConnection);
    return app.exec();
}
