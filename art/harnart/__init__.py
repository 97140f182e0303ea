"""Generator of every picture in DATA/ (see make_art.py)."""
