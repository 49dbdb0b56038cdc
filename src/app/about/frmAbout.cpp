// Placeholder: frmAbout lands here.
