// Replaced by the exchange engine sources.
