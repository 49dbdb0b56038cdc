// Placeholder: frmScript lands here.
