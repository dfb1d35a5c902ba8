// Replaced by the delivery run.
