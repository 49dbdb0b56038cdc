// SPDX-License-Identifier: MIT
// A Qt application for end-to-end tests of typing into dialogs:
//   typomat_dialog_target TITLE LOG [options]
// The main window has one line edit; Ctrl+D opens a modal dialog titled
// "TITLE Dialog" with a line edit of its own, which Enter accepts. After
// every change it writes to LOG what each line edit holds and how often the
// dialog was opened and accepted ("main=...", "dialog=...", "opened=N",
// "accepted=N", one a line). Options, each the way some real application
// behaves:
//   --dialog-open     the dialog is open from the start
//   --stall-ms N      the Ctrl+D handler computes N ms before the dialog opens
//   --sleep-ms N      ... sleeps N ms (blocked, as on disk or a lock)
//   --reuse-dialog    one dialog, made at the start, hidden and shown again
//   --paste           Ctrl+V makes a hidden window (as Qt's first use of the
//                     clipboard does) and inserts "pasted"
//   --second-window   a second main window, "TITLE Second", of the same process
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMap>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <memory>

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

// Ctrl+V in the line edit: a hidden window made at the first paste, as Qt
// makes one for the clipboard, and a known text.
class PasteFilter : public QObject {
public:
    explicit PasteFilter(QLineEdit* edit) : edit_(edit) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_V || key->modifiers() != Qt::ControlModifier)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (!clipboardWindow_) {
            clipboardWindow_ = std::make_unique<QWindow>();
            clipboardWindow_->create();
        }
        edit_->insert(QStringLiteral("pasted"));
        return true;
    }

private:
    QLineEdit* edit_;
    std::unique_ptr<QWindow> clipboardWindow_;
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
    const auto number = [&args](const char* option) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 0;
    };
    const int stallMs = number("--stall-ms");
    const int sleepMs = number("--sleep-ms");

    QWidget main;
    main.setWindowTitle(title);
    main.resize(400, 120);
    auto* layout = new QVBoxLayout(&main);
    auto* edit = new QLineEdit(&main);
    layout->addWidget(edit);
    QObject::connect(edit, &QLineEdit::textChanged,
                     [&log](const QString& text) { log.set(QStringLiteral("main"), text); });

    auto makeDialog = [&] {
        auto dialog = std::make_unique<QDialog>(&main);
        dialog->setWindowTitle(title + QStringLiteral(" Dialog"));
        auto* box = new QVBoxLayout(dialog.get());
        auto* field = new QLineEdit(dialog.get());
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        box->addWidget(field);
        box->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
        QObject::connect(field, &QLineEdit::textChanged,
                         [&log](const QString& text) { log.set(QStringLiteral("dialog"), text); });
        return dialog;
    };
    // One dialog made at the start and shown again each time, or a new one.
    std::unique_ptr<QDialog> kept;
    if (args.contains(QStringLiteral("--reuse-dialog"))) {
        kept = makeDialog();
        kept->winId();
    }
    auto openDialog = [&] {
        spin(stallMs);
        QThread::msleep(static_cast<unsigned long>(sleepMs));
        std::unique_ptr<QDialog> made = kept ? nullptr : makeDialog();
        QDialog& dialog = kept ? *kept : *made;
        dialog.findChild<QLineEdit*>()->clear();
        log.count(QStringLiteral("opened"));
        if (dialog.exec() == QDialog::Accepted)
            log.count(QStringLiteral("accepted"));
    };
    PasteFilter paste(edit);
    if (args.contains(QStringLiteral("--paste")))
        edit->installEventFilter(&paste);
    QWidget second;
    if (args.contains(QStringLiteral("--second-window"))) {
        second.setWindowTitle(title + QStringLiteral(" Second"));
        second.resize(300, 100);
        second.show();
    }
    auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+D")), &main);
    QObject::connect(shortcut, &QShortcut::activated, openDialog);

    main.show();
    log.set(QStringLiteral("main"), QString());
    if (args.contains(QStringLiteral("--dialog-open")))
        QMetaObject::invokeMethod(&main, openDialog, Qt::QueuedConnection);
    return app.exec();
}
