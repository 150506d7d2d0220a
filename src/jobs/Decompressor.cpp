// Filled in by the batch job that owns this unit.
