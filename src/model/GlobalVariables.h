// The model's global variables: process-wide parameters that the study sets
// for the chosen experiment and the generated activities read at every
// evaluation (never cached), so a new experiment takes effect at once.
#pragma once

extern float flash_size;
extern float power_cycle_rate;
extern float ram_size;
extern float random_failure_rate;
