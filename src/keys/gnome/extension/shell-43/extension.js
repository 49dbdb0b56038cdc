// SPDX-License-Identifier: MIT
// Entry of Typomat's window access for GNOME Shell 43 and 44 (the imports
// form of extensions).
const {Gio, GLib, Meta} = imports.gi;
const Main = imports.ui.main;
const KeyboardManager = imports.misc.keyboardManager;
const Me = imports.misc.extensionUtils.getCurrentExtension();

let service = null;

function init() {
}

function enable() {
    service = new Me.imports.service.WindowService({Gio, GLib, Meta, Main, KeyboardManager},
        Me.metadata['typomat-programs'] ?? []);
}

function disable() {
    service?.destroy();
    service = null;
}
