// Replaced by the settings reader.
