// Rise/fall (edge-rate) filter.
