<?xml version="1.0" encoding="UTF-8"?>
<GAML version="1.20"><experiment><trace name="wrapped"><Xdata units="WAVENUMBER"><values format="FLOAT64" byteorder="INTEL" numvalues="2">AAAAAABAr0AAAAAAAAB5QA==</values><Ydata units="ABSORBANCE"><values format="FLOAT32" byteorder="INTEL" numvalues="24">
AAAAAAAAgD4AAAA/AABAPwAAgD8AAKA/AADAPwAA4D8AAABAAAAQQAAAIEAAADBAAABAQAAAUEAA
AGBAAABwQAAAgEAAAIhAAACQQAAAmEAAAKBAAACoQAAAsEAAALhA
</values></Ydata></Xdata></trace></experiment></GAML>
