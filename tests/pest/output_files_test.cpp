// Tests of output_files are added here.
