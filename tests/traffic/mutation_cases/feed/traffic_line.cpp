// A small feed source for the check of the mutation list: its numbers are reached as well.
bool dropped(double lon, double knots) { return lon > 180 || knots <= 35; }
