// Mode words of the parameter string read into control modes.
