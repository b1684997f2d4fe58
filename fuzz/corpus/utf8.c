/* коментар */
int café = 1;
	int	tabbed;
