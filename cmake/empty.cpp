// A subsystem library that has no code yet is built from this file.
