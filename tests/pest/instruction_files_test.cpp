// Tests of instruction_files are added here.
