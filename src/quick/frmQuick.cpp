// Placeholder: frmQuick lands here.
