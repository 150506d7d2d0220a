// Tests of this unit.
