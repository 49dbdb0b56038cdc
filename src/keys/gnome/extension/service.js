// SPDX-License-Identifier: MIT
// Typomat's window access inside GNOME Shell: the windows with their titles,
// bringing one to the front, and where the keyboard goes. Only the Typomat
// program itself may call it: the Shell refuses other programs its window
// list, and so does this service.
//
// Written as a plain script that is handed the Shell's modules, so that the
// same file serves the Shell's two extension forms (see extension.js in
// shell-43 and shell-45).

var INTERFACE = `
<node>
  <interface name="org.typomat.Windows">
    <!-- Every window, from the bottom of the stack to the top:
         id, title, application id, id of the window it is transient for
         (0: none), process id (0: unknown), whether it has the focus. -->
    <method name="List">
      <arg direction="out" type="a(tsstub)"/>
    </method>
    <!-- Brings the window to the front, leaving the overview, and answers
         whether the keyboard now goes to it (or to a dialog of it). -->
    <method name="Activate">
      <arg direction="in" type="t"/>
      <arg direction="out" type="b"/>
    </method>
    <!-- The window the keyboard goes to (0: none, or the Shell itself,
         such as the overview or a menu), and how often that has changed. -->
    <method name="Focus">
      <arg direction="out" type="t"/>
      <arg direction="out" type="t"/>
    </method>
    <!-- The layout (XKB group) of the keymap that keys are typed in now. -->
    <method name="KeyboardLayout">
      <arg direction="out" type="u"/>
    </method>
    <!-- Answers once the Shell has handed every input event it was given
         before the call on to the applications: it does that at the start
         of a stage update, so after the second one from now. -->
    <method name="Dispatched"/>
    <!-- The window the keyboard goes to now, and the count of changes
         that this one makes. -->
    <signal name="FocusChanged">
      <arg type="t"/>
      <arg type="t"/>
    </signal>
  </interface>
</node>`;

var OBJECT_PATH = '/org/typomat/Windows';

// How long Activate waits for the focus, in milliseconds.
const ACTIVATION_LIMIT_MS = 2000;
const ACTIVATION_LOOK_MS = 2;
// Dispatched answers at the latest after this, in milliseconds.
const DISPATCH_LIMIT_MS = 250;

var WindowService = class {
    // shell: {Gio, GLib, Meta, Main, KeyboardManager}; programs: the paths of the programs
    // allowed to call (the installed typomat).
    constructor(shell, programs) {
        this._shell = shell;
        this._programs = programs;
        this._verdicts = new Map(); // unique bus name -> allowed
        this._changes = 0;
        this._lastTarget = this._keyboardTarget();
        const {Gio} = shell;
        this._impl = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._impl.export(Gio.DBus.session, OBJECT_PATH);
        const moved = () => this._focusMoved();
        this._watches = [
            [global.display, global.display.connect('notify::focus-window', moved)],
            [global.stage, global.stage.connect('notify::key-focus', moved)],
        ];
        this._nameWatch = Gio.DBus.session.signal_subscribe('org.freedesktop.DBus',
            'org.freedesktop.DBus', 'NameOwnerChanged', '/org/freedesktop/DBus', null,
            Gio.DBusSignalFlags.NONE, (...args) => this._nameOwnerChanged(args[5]));
    }

    destroy() {
        for (const [object, id] of this._watches)
            object.disconnect(id);
        this._shell.Gio.DBus.session.signal_unsubscribe(this._nameWatch);
        this._impl.unexport();
    }

    ListAsync(params, invocation) {
        this._answer(invocation, () => {
            const rows = this._windows().map(w => {
                const parent = w.get_transient_for();
                return [w.get_id(), w.get_title() ?? '', this._appId(w),
                    parent ? parent.get_id() : 0, Math.max(0, w.get_pid()), w.has_focus()];
            });
            return new this._shell.GLib.Variant('(a(tsstub))', [rows]);
        });
    }

    ActivateAsync([id], invocation) {
        this._allowed(invocation).then(allowed => {
            if (!allowed)
                return;
            const window = this._windows().find(w => w.get_id() === id);
            if (!window) {
                invocation.return_value(new this._shell.GLib.Variant('(b)', [false]));
                return;
            }
            this._activate(window, invocation);
        });
    }

    KeyboardLayoutAsync(params, invocation) {
        this._answer(invocation, () => new this._shell.GLib.Variant('(u)',
            [this._shell.KeyboardManager.getKeyboardManager().currentLayout?.groupIndex ?? 0]));
    }

    FocusAsync(params, invocation) {
        this._answer(invocation, () => new this._shell.GLib.Variant('(tt)',
            [this._keyboardTarget(), this._changes]));
    }

    // The overview is closed first: a window activated while it closes
    // loses the focus again to the window it had before. The overview
    // keeps the keyboard until its closing animation has ended.
    DispatchedAsync(params, invocation) {
        this._allowed(invocation).then(allowed => {
            if (!allowed)
                return;
            const {GLib} = this._shell;
            let updates = 0;
            let watch = 0;
            let limit = 0;
            const answer = () => {
                global.stage.disconnect(watch);
                if (limit)
                    GLib.source_remove(limit);
                invocation.return_value(null);
            };
            watch = global.stage.connect('after-update', () => {
                if (++updates >= 2)
                    answer();
                else
                    global.stage.schedule_update();
            });
            limit = GLib.timeout_add(GLib.PRIORITY_DEFAULT, DISPATCH_LIMIT_MS, () => {
                limit = 0;
                answer();
                return GLib.SOURCE_REMOVE;
            });
            global.stage.schedule_update();
        });
    }

    _activate(window, invocation) {
        const {GLib, Main} = this._shell;
        const start = GLib.get_monotonic_time();
        let activated = false;
        const look = () => {
            if (!activated && !Main.overview.visible) {
                if (window.minimized)
                    window.unminimize();
                // A fresh time stamp: one older than the last user action
                // would only mark the window as wanting attention.
                Main.activateWindow(window, global.display.get_current_time_roundtrip());
                activated = true;
            }
            const got = activated && this._focusIsIn(window);
            if (!got && GLib.get_monotonic_time() - start < ACTIVATION_LIMIT_MS * 1000)
                return GLib.SOURCE_CONTINUE;
            invocation.return_value(new GLib.Variant('(b)', [got]));
            return GLib.SOURCE_REMOVE;
        };
        Main.overview.hide();
        if (look() === GLib.SOURCE_CONTINUE)
            GLib.timeout_add(GLib.PRIORITY_DEFAULT, ACTIVATION_LOOK_MS, look);
    }

    // The keyboard goes to the window, or to a dialog it opened.
    _focusIsIn(window) {
        let focused = this._shellHasKeyboard() ? null : global.display.focus_window;
        for (; focused; focused = focused.get_transient_for()) {
            if (focused === window)
                return true;
        }
        return false;
    }

    _keyboardTarget() {
        const focused = global.display.focus_window;
        return focused && !this._shellHasKeyboard() ? focused.get_id() : 0;
    }

    // The overview, a menu or a dialog of the Shell holds the keyboard, or
    // one of its own actors has the stage's key focus.
    _shellHasKeyboard() {
        const keyFocus = global.stage.get_key_focus();
        return this._shell.Main.modalCount > 0 || (keyFocus !== null && keyFocus !== global.stage);
    }

    _focusMoved() {
        const target = this._keyboardTarget();
        if (target === this._lastTarget)
            return;
        this._lastTarget = target;
        this._changes += 1;
        // Only to the callers that were let in, not to the whole bus.
        const {Gio, GLib} = this._shell;
        for (const [name, allowed] of this._verdicts) {
            if (allowed) {
                Gio.DBus.session.emit_signal(name, OBJECT_PATH, 'org.typomat.Windows',
                    'FocusChanged', new GLib.Variant('(tt)', [target, this._changes]));
            }
        }
    }

    _windows() {
        const {Meta} = this._shell;
        const kinds = [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG,
            Meta.WindowType.MODAL_DIALOG, Meta.WindowType.UTILITY];
        const windows = global.display.list_all_windows()
            .filter(w => kinds.includes(w.get_window_type()) && !w.is_override_redirect());
        return global.display.sort_windows_by_stacking(windows);
    }

    _appId(window) {
        return window.get_sandboxed_app_id() ?? window.get_gtk_application_id() ??
            window.get_wm_class() ?? '';
    }

    // Runs make() and returns its value when the caller is allowed.
    _answer(invocation, make) {
        this._allowed(invocation).then(allowed => {
            if (allowed)
                invocation.return_value(make());
        });
    }

    // Whether the calling process runs one of the allowed programs; refuses
    // the call otherwise. A unique bus name belongs to one connection for
    // the bus's lifetime, so the answer is kept for it.
    async _allowed(invocation) {
        const sender = invocation.get_sender();
        let allowed = this._verdicts.get(sender);
        if (allowed === undefined) {
            allowed = await this._runsAllowedProgram(sender);
            this._verdicts.set(sender, allowed);
        }
        if (!allowed) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                `Only ${this._programs.join(' or ')} may use this interface.`);
        }
        return allowed;
    }

    async _runsAllowedProgram(sender) {
        const {Gio, GLib} = this._shell;
        try {
            const reply = await new Promise((resolve, reject) => {
                Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
                    'org.freedesktop.DBus', 'GetConnectionUnixProcessID',
                    new GLib.Variant('(s)', [sender]), new GLib.VariantType('(u)'),
                    Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
                        try {
                            resolve(connection.call_finish(result));
                        } catch (e) {
                            reject(e);
                        }
                    });
            });
            const [pid] = reply.deepUnpack();
            // A program replaced on disk while it runs (an upgrade) reads
            // as "PATH (deleted)".
            const program = GLib.file_read_link(`/proc/${pid}/exe`).replace(/ \(deleted\)$/, '');
            return this._programs.includes(program);
        } catch (e) {
            return false;
        }
    }

    _nameOwnerChanged(args) {
        const [name, , newOwner] = args.deepUnpack();
        if (newOwner === '')
            this._verdicts.delete(name);
    }
};
