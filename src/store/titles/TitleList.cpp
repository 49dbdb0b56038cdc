// Placeholder: TitleList lands here.
