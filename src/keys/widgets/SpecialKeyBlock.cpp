// Placeholder: SpecialKeyBlock lands here.
