// SPDX-License-Identifier: MIT
// Entry of Typomat's window access for GNOME Shell 45 and later (extensions
// as ES modules).
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as KeyboardManager from 'resource:///org/gnome/shell/misc/keyboardManager.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {WindowService} from './service.js';

export default class TypomatWindows extends Extension {
    enable() {
        this._service = new WindowService({Gio, GLib, Meta, Main, KeyboardManager},
            this.metadata['typomat-programs'] ?? []);
    }

    disable() {
        this._service?.destroy();
        this._service = null;
    }
}
