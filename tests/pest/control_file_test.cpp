// Tests of control_file are added here.
