// Replaced by the device model sources.
