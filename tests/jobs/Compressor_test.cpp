// Tests of this batch job.
