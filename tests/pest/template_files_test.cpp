// Tests of template_files are added here.
