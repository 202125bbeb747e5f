// Tests of model_run are added here.
