// Tests of jacobian are added here.
