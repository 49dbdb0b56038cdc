// Placeholder: X11KeySender lands here.
